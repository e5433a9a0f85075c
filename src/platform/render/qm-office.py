# UNO client of quillmarc: one document per run, against an office started by the program.
# argv: pipe action kind source [pdf]
#   action: prepare | pdf | terminate     kind: workbook | document
# Exit: 0 done, 2 no office, 3 not a Word 97 / Excel 97 file, 4 failed.
import sys, time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException

FILTERS = {"workbook": "MS Excel 97", "document": "MS Word 97"}
PDF_FILTERS = {"workbook": "calc_pdf_Export", "document": "writer_pdf_Export"}


def pv(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def connect(pipe, seconds):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    deadline = time.monotonic() + seconds
    while True:
        try:
            ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            return ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        except NoConnectException:
            if time.monotonic() > deadline:
                return None
            time.sleep(0.1)


def near(a, b):
    return abs(a - b) <= 150


def set_edge_margin(ps, side, target):
    # The office measures the top margin to the header; Excel and Word measure it to
    # the body. With a header, split the target between header distance and height.
    edge = "TopMargin" if side == "Header" else "BottomMargin"
    if not getattr(ps, side + "IsOn"):
        setattr(ps, edge, target)
        return
    hm = min(getattr(ps, edge), target // 2)
    setattr(ps, edge, hm)
    setattr(ps, side + "IsDynamicHeight", False)
    setattr(ps, side + "BodyDistance", 0)
    setattr(ps, side + "Height", target - hm)


def a4(ps):
    if ps.IsLandscape:
        ps.Width, ps.Height = 29700, 21000
    else:
        ps.Width, ps.Height = 21000, 29700


def step(fn):
    # A setting the document refuses must not cost it the others: it is skipped.
    try:
        fn()
    except Exception as e:  # noqa: BLE001
        sys.stderr.write("step skipped: %s\n" % e)


def prepare_workbook(doc):
    sheet = doc.Sheets.getByIndex(0)
    ps = doc.StyleFamilies.getByName("PageStyles").getByName(sheet.PageStyle)
    w, h = ps.Width, ps.Height
    s, l = min(w, h), max(w, h)
    factor = None
    if near(s, 25700) and near(l, 36400):      # paper size 12 (B4)
        factor = 0.85
    elif near(s, 21590) and near(l, 33020):    # paper size 14 (Folio)
        factor = 0.7
    if factor and ps.ScaleToPages == 0 and ps.ScaleToPagesX == 0 and ps.ScaleToPagesY == 0:
        # A whole-number zoom; round() takes halves to the even neighbour.
        step(lambda: setattr(ps, "PageScale", max(10, min(400, int(round(ps.PageScale * factor))))))
    step(lambda: a4(ps))
    step(lambda: set_edge_margin(ps, "Header", 500))
    step(lambda: set_edge_margin(ps, "Footer", 500))
    step(lambda: setattr(ps, "LeftMargin", 500))
    step(lambda: setattr(ps, "RightMargin", 500))
    step(lambda: setattr(ps, "CenterHorizontally", True))


def prepare_document(doc):
    fam = doc.StyleFamilies.getByName("PageStyles")
    for name in fam.ElementNames:
        ps = fam.getByName(name)
        if not ps.isInUse():
            continue
        step(lambda: a4(ps))
        step(lambda: set_edge_margin(ps, "Header", 1000))
        step(lambda: set_edge_margin(ps, "Footer", 1000))
        step(lambda: setattr(ps, "LeftMargin", 1000))
        step(lambda: setattr(ps, "RightMargin", 1000))


def main(argv):
    pipe, action = argv[1], argv[2]
    desktop = connect(pipe, float(argv[6]) if len(argv) > 6 else 60.0)
    if desktop is None:
        print("office not reachable")
        return 2
    if action == "terminate":
        try:
            desktop.terminate()
        except Exception:  # noqa: BLE001  the bridge goes away as the office quits
            pass
        return 0
    kind, source = argv[3], argv[4]
    pdf = argv[5] if len(argv) > 5 else ""
    url = uno.systemPathToFileUrl(source)
    try:
        doc = desktop.loadComponentFromURL(url, "_blank", 0, (pv("Hidden", True), pv("FilterName", FILTERS[kind])))
    except Exception as e:  # noqa: BLE001
        print("load failed: %s" % e)
        return 3
    if doc is None:
        print("not recognised")
        return 3
    try:
        used = [a.Value for a in doc.getArgs() if a.Name == "FilterName"]
        if used != [FILTERS[kind]]:
            print("not recognised: %s" % used)
            return 3
        if action == "prepare":
            (prepare_workbook if kind == "workbook" else prepare_document)(doc)
            doc.store()
        if pdf:
            args = [pv("FilterName", PDF_FILTERS[kind])]
            if kind == "workbook":
                sel = (pv("Selection", doc.Sheets.getByIndex(0)),)
                args.append(pv("FilterData", uno.Any("[]com.sun.star.beans.PropertyValue", sel)))
            uno.invoke(doc, "storeToURL", (uno.systemPathToFileUrl(pdf), tuple(args)))
        print("done")
        return 0
    except Exception as e:  # noqa: BLE001
        print("failed: %s" % e)
        return 4
    finally:
        try:
            doc.close(True)
        except Exception:  # noqa: BLE001
            pass


if __name__ == "__main__":
    sys.exit(main(sys.argv))
