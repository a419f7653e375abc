#include <Orv/Json.h>

#include "json/jsonwriter_p.h"

#include <charconv>

namespace Vantrel {
namespace Orv {
namespace detail {

namespace {

// Longest line that a Fit array or object stays on.
const int kLineWidth = 100;

}  // namespace

JsonWriter::JsonWriter(int reserve) {
    _out.reserve(size_t(qMax(reserve, 0)));
}

void JsonWriter::indent(size_t levels) {
    _out.append(levels * 4, ' ');
}

void JsonWriter::next() {
    if (_afterKey) {
        _afterKey = false;
        return;
    }
    if (_levels.empty()) return;
    Level& level = _levels.back();
    if (!level.empty) _out += level.line ? ", " : ",";
    if (!level.line) {
        _out += '\n';
        _lineStart = _out.size();
        indent(_levels.size());
    }
    if (level.fit) _elements.push_back(_out.size());
    level.empty = false;
}

bool JsonWriter::begin(char open, Layout layout) {
    if (int(_levels.size()) >= kJsonMaxDepth) return false;
    next();
    const bool inLine = !_levels.empty() && _levels.back().line;
    const bool fit = layout == Layout::Fit && !inLine;
    _levels.push_back(Level{inLine || layout != Layout::Block, true, fit, open == '{' ? '}' : ']',
                            _out.size(), _elements.size()});
    _out += open;
    return true;
}

bool JsonWriter::beginObject(Layout layout) {
    return begin('{', layout);
}

bool JsonWriter::beginArray(Layout layout) {
    return begin('[', layout);
}

void JsonWriter::end() {
    const Level level = _levels.back();
    _levels.pop_back();
    if (!level.line && !level.empty) {
        _out += '\n';
        indent(_levels.size());
    }
    _out += level.close;
    if (!level.fit) return;
    // One column for the comma that may follow.
    if (!level.empty && _out.size() - _lineStart + 1 > size_t(kLineWidth)) breakLines(level);
    _elements.resize(level.firstElement);
}

void JsonWriter::breakLines(const Level& level) {
    const std::string text = _out.substr(level.start);
    _out.resize(level.start);
    _out += text.front();
    const size_t count = _elements.size() - level.firstElement;
    for (size_t i = 0; i < count; ++i) {
        const size_t begin = _elements[level.firstElement + i] - level.start;
        // Up to the ", " before the next one, or the closing bracket.
        const size_t end = i + 1 < count ? _elements[level.firstElement + i + 1] - level.start - 2
                                         : text.size() - 1;
        _out += '\n';
        indent(_levels.size() + 1);
        _out.append(text, begin, end - begin);
        if (i + 1 < count) _out += ',';
    }
    _out += '\n';
    _lineStart = _out.size();
    indent(_levels.size());
    _out += text.back();
}

JsonWriter& JsonWriter::key(const char* latin1) {
    next();
    _out += '"';
    _out += latin1;
    _out += "\": ";
    _afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::key(const QString& name) {
    next();
    escaped(name);
    _out += ": ";
    _afterKey = true;
    return *this;
}

void JsonWriter::string(const QString& text) {
    next();
    escaped(text);
}

void JsonWriter::string(const char* latin1) {
    string(QString::fromLatin1(latin1));
}

void JsonWriter::integer(qint64 number) {
    next();
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    _out.append(digits, size_t(end - digits));
}

void JsonWriter::number(double number) {
    next();
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    _out.append(digits, size_t(end - digits));
}

void JsonWriter::thousandths(qint64 count) {
    next();
    quint64 magnitude = count < 0 ? 0 - quint64(count) : quint64(count);
    if (count < 0) _out += '-';
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, magnitude / 1000).ptr;
    _out.append(digits, size_t(end - digits));
    const int rest = int(magnitude % 1000);
    const char decimals[] = {'.', char('0' + rest / 100), char('0' + rest / 10 % 10),
                             char('0' + rest % 10)};
    _out.append(decimals, 4);
}

void JsonWriter::boolean(bool value) {
    next();
    _out += value ? "true" : "false";
}

void JsonWriter::null() {
    next();
    _out += "null";
}

QByteArray JsonWriter::take() {
    if (_levels.empty()) _out += '\n';
    QByteArray text(_out.data(), int(_out.size()));
    _out.clear();
    return text;
}

// UTF-8 with '"', '\\' and control characters escaped. An unpaired surrogate, which neither
// UTF-8 nor a reader that checks its escapes accepts, becomes U+FFFD.
void JsonWriter::escaped(const QString& text) {
    static const char kHex[] = "0123456789abcdef";
    _out += '"';
    const QChar* chars = text.constData();
    const int size = text.size();
    for (int i = 0; i < size; ++i) {
        uint c = chars[i].unicode();
        if (c < 0x80) {
            if (c >= 0x20 && c != '"' && c != '\\') {
                _out += char(c);
                continue;
            }
            _out += '\\';
            switch (c) {
                case '"':
                case '\\':
                    _out += char(c);
                    break;
                case '\n':
                    _out += 'n';
                    break;
                case '\t':
                    _out += 't';
                    break;
                case '\r':
                    _out += 'r';
                    break;
                case '\b':
                    _out += 'b';
                    break;
                case '\f':
                    _out += 'f';
                    break;
                default:
                    _out += "u00";
                    _out += kHex[c >> 4];
                    _out += kHex[c & 15];
            }
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < size && chars[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(ushort(c), chars[++i].unicode());
        } else if (QChar::isSurrogate(c)) {
            c = 0xfffd;
        }
        if (c < 0x800) {
            _out += char(0xc0 | (c >> 6));
        } else if (c < 0x10000) {
            _out += char(0xe0 | (c >> 12));
            _out += char(0x80 | ((c >> 6) & 0x3f));
        } else {
            _out += char(0xf0 | (c >> 18));
            _out += char(0x80 | ((c >> 12) & 0x3f));
            _out += char(0x80 | ((c >> 6) & 0x3f));
        }
        _out += char(0x80 | (c & 0x3f));
    }
    _out += '"';
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
