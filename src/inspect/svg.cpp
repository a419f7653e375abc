// The report's charts: a few shapes, escaped and formatted in one place.
#include "inspect/svg_p.h"

namespace Vantrel {
namespace Orv {

namespace {

QString number(double value) {
    return QString::number(value, 'f', 1);
}

}  // namespace

QString detail::xmlEscaped(const QString& text) {
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        const ushort u = c.unicode();
        switch (u) {
            case '&':
                out += QLatin1String("&amp;");
                break;
            case '<':
                out += QLatin1String("&lt;");
                break;
            case '>':
                out += QLatin1String("&gt;");
                break;
            case '"':
                out += QLatin1String("&quot;");
                break;
            // As references, so that attribute values keep them: XML reads them there as spaces.
            case '\t':
            case '\n':
            case '\r':
                out += QLatin1String("&#") + QString::number(u) + QLatin1Char(';');
                break;
            default:
                out += (u < 0x20 || u == 0xfffe || u == 0xffff) ? QChar(0xfffd) : c;
        }
    }
    return out;
}

detail::SvgChart::SvgChart(double width, double height) {
    _out = QStringLiteral("<svg viewBox=\"0 0 ") + number(width) + QLatin1Char(' ') +
           number(height) +
           QStringLiteral(
               "\" xmlns=\"http://www.w3.org/2000/svg\" font-size=\"12\" "
               "font-family=\"DejaVu Sans, sans-serif\">");
}

void detail::SvgChart::attributes(Attributes attributes) {
    for (const auto& attribute : attributes) {
        _out += QLatin1Char(' ') + QLatin1String(attribute.first) + QStringLiteral("=\"") +
                xmlEscaped(attribute.second) + QLatin1Char('"');
    }
}

void detail::SvgChart::beginGroup(const QString& tip, Attributes attributes) {
    _out += QStringLiteral("<g");
    this->attributes(attributes);
    _out += QStringLiteral("><title>") + xmlEscaped(tip) + QStringLiteral("</title>");
}

void detail::SvgChart::endGroup() {
    _out += QStringLiteral("</g>");
}

void detail::SvgChart::rect(double x, double y, double width, double height, const QString& fill,
                            Attributes attributes) {
    _out += QStringLiteral("<rect x=\"") + number(x) + QStringLiteral("\" y=\"") + number(y) +
            QStringLiteral("\" width=\"") + number(width) + QStringLiteral("\" height=\"") +
            number(height) + QStringLiteral("\" rx=\"3\" fill=\"") + xmlEscaped(fill) +
            QLatin1Char('"');
    this->attributes(attributes);
    _out += QStringLiteral("/>");
}

void detail::SvgChart::text(double x, double y, const QString& text, const QString& fill,
                            const char* anchor, Attributes attributes) {
    _out += QStringLiteral("<text x=\"") + number(x) + QStringLiteral("\" y=\"") + number(y) +
            QStringLiteral("\" text-anchor=\"") + QLatin1String(anchor) +
            QStringLiteral("\" fill=\"") + xmlEscaped(fill) + QLatin1Char('"');
    this->attributes(attributes);
    _out += QLatin1Char('>') + xmlEscaped(text) + QStringLiteral("</text>");
}

void detail::SvgChart::line(double x1, double y1, double x2, double y2, const QString& stroke) {
    _out += QStringLiteral("<line x1=\"") + number(x1) + QStringLiteral("\" y1=\"") + number(y1) +
            QStringLiteral("\" x2=\"") + number(x2) + QStringLiteral("\" y2=\"") + number(y2) +
            QStringLiteral("\" stroke=\"") + xmlEscaped(stroke) + QStringLiteral("\"/>");
}

QString detail::SvgChart::take() {
    _out += QStringLiteral("</svg>");
    return std::move(_out);
}

}  // namespace Orv
}  // namespace Vantrel
