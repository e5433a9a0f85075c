#!/usr/bin/python3
# Prints the page setup of the first worksheet of an .xls as read from its BIFF records:
# paper=<code> scale=<percent> left=<cm> right=<cm> top=<cm> bottom=<cm> hcenter=<0|1>
import struct, sys
import olefile

data = olefile.OleFileIO(sys.argv[1]).openstream("Workbook").read()
pos, bofs, out = 0, 0, {}
while pos + 4 <= len(data):
    rtype, size = struct.unpack_from("<HH", data, pos)
    body = data[pos + 4:pos + 4 + size]
    pos += 4 + size
    if rtype == 0x0809:
        bofs += 1
        continue
    if bofs != 2:
        continue
    if rtype == 0x000A:
        break
    if rtype == 0x00A1:
        out["paper"], out["scale"] = struct.unpack_from("<HH", body, 0)
    elif rtype in (0x0026, 0x0027, 0x0028, 0x0029):
        name = {0x26: "left", 0x27: "right", 0x28: "top", 0x29: "bottom"}[rtype]
        out[name] = round(struct.unpack_from("<d", body, 0)[0] * 2.54, 3)
    elif rtype == 0x0083:
        out["hcenter"] = struct.unpack_from("<H", body, 0)[0]
print(" ".join("%s=%s" % kv for kv in sorted(out.items())))
