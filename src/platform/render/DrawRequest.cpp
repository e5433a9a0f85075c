#include "platform/render/DrawRequest.h"

#include <QDataStream>
#include <QIODevice>

namespace qm::draw {

namespace {

constexpr quint32 kRequestMagic = 0x514d4452; // "QMDR"
constexpr quint32 kAnswerMagic = 0x514d4441;  // "QMDA"

template <typename Fill> QByteArray write(quint32 magic, Fill fill)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << magic;
    fill(out);
    return bytes;
}

template <typename Take> bool read(const QByteArray& bytes, quint32 magic, Take take)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 seen = 0;
    in >> seen;
    if (seen != magic)
        return false;
    take(in);
    return in.status() == QDataStream::Ok && in.atEnd();
}

} // namespace

QByteArray encode(const Request& r)
{
    return write(kRequestMagic, [&](QDataStream& out) {
        out << r.kind << r.text << r.fontName << r.pointSize << r.pdfPath << r.printerName;
    });
}

QByteArray encode(const Answer& a)
{
    return write(kAnswerMagic, [&](QDataStream& out) {
        out << a.ok << a.error << a.pages << a.linesPerPage << a.printerName;
    });
}

bool decode(const QByteArray& bytes, Request* r)
{
    Request got;
    const bool ok = read(bytes, kRequestMagic, [&](QDataStream& in) {
        in >> got.kind >> got.text >> got.fontName >> got.pointSize >> got.pdfPath >>
            got.printerName;
    });
    if (!ok || (got.kind != Request::RenderFax && got.kind != Request::PrintText))
        return false;
    *r = got;
    return true;
}

bool decode(const QByteArray& bytes, Answer* a)
{
    Answer got;
    const bool ok = read(bytes, kAnswerMagic, [&](QDataStream& in) {
        in >> got.ok >> got.error >> got.pages >> got.linesPerPage >> got.printerName;
    });
    if (!ok)
        return false;
    *a = got;
    return true;
}

} // namespace qm::draw
