#include <Orv/Json.h>

#include "json/jsonwriter_p.h"

#include <rapidjson/writer.h>

#include <type_traits>

namespace Vantrel {
namespace Orv {
namespace detail {

namespace {

// RapidJSON's writers write into the text through this. (Its StringBuffer starts from a null
// pointer that its first write offsets, which UndefinedBehaviorSanitizer reports.)
struct Output {
    using Ch = char;
    std::string& text;
    void Put(char c) { text += c; }
    void Flush() {}
};
// RapidJSON's UTF-8 encoder names this before its own stream header declares it.
inline void PutUnsafe(Output& output, char c) {
    output.Put(c);
}

// Writes one string or number (a writer with nothing open puts no separator). A QString goes as
// UTF-16, which RapidJSON turns into UTF-8 as it escapes, without a copy.
using Token = rapidjson::Writer<Output>;
using Utf16 = std::remove_const_t<std::remove_pointer_t<decltype(QString().utf16())>>;
using Utf16Token = rapidjson::Writer<Output, rapidjson::UTF16<Utf16>>;

// A lone surrogate, which UTF-8 cannot carry, becomes U+FFFD.
QString withoutLoneSurrogates(QString text) {
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

}  // namespace

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
        indent(_levels.size());
    }
    level.empty = false;
}

bool JsonWriter::begin(char open, Layout layout) {
    if (int(_levels.size()) >= kJsonMaxDepth) return false;
    next();
    const bool inLine = !_levels.empty() && _levels.back().line;
    _levels.push_back(Level{inLine || layout == Layout::Line, true, open == '{' ? '}' : ']'});
    _out += open;
    return true;
}

void JsonWriter::end() {
    const Level level = _levels.back();
    _levels.pop_back();
    if (!level.line && !level.empty) {
        _out += '\n';
        indent(_levels.size());
    }
    _out += level.close;
}

void JsonWriter::string(const QString& text) {
    if (!text.isValidUtf16()) return string(withoutLoneSurrogates(text));
    next();
    Output out{_out};
    Utf16Token(out).String(text.utf16(), rapidjson::SizeType(text.size()));
}

void JsonWriter::integer(qint64 number) {
    next();
    Output out{_out};
    Token(out).Int64(number);
}

void JsonWriter::number(double number) {
    next();
    Output out{_out};
    Token(out).Double(number);
}

void JsonWriter::thousandths(qint64 count) {
    next();
    const quint64 magnitude = count < 0 ? 0 - quint64(count) : quint64(count);
    if (count < 0) _out += '-';
    Output out{_out};
    Token(out).Uint64(magnitude / 1000);
    const int rest = int(magnitude % 1000);
    _out += {'.', char('0' + rest / 100), char('0' + rest / 10 % 10), char('0' + rest % 10)};
}

QByteArray JsonWriter::take() {
    if (_levels.empty()) _out += '\n';
    QByteArray text(_out.data(), int(_out.size()));
    _out.clear();
    return text;
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
