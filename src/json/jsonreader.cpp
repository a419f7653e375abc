#include <Orv/Json.h>

#include "graph/refusal_p.h"
#include "json/jsonreader_p.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>

namespace Vantrel {
namespace Orv {
namespace detail {

namespace {

// Runs the parser for Document::Populate, which keeps the document only when it succeeds.
struct Parse {
    const QByteArray& text;
    rapidjson::ParseResult result;
    bool tooDeep = false;
    size_t end = 0;

    bool operator()(rapidjson::Document& handler) {
        // Populate hands over the document it was called on, which is a JsonDocument.
        JsonDocument& document = static_cast<JsonDocument&>(handler);
        rapidjson::MemoryStream stream(text.constData(), size_t(text.size()));
        rapidjson::Reader reader;
        // RapidJSON's own conversion may land a step off the nearest double (1.98e+82 for
        // 1.9800000000000002e+82), and its full-precision one is undefined for input such as
        // "0e95" in version 1.1.0: numbers come as text to JsonDocument::RawNumber instead.
        result =
            reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag |
                         rapidjson::kParseValidateEncodingFlag>(stream, document);
        tooDeep = document.tooDeep();
        end = stream.Tell();
        return !result.IsError();
    }
};

}  // namespace

Pointer Pointer::operator/(const QString& key) const {
    Pointer next;
    QString escaped = key;
    escaped.replace(QLatin1Char('~'), QLatin1String("~0"))
        .replace(QLatin1Char('/'), QLatin1String("~1"));
    next._text = _text + QLatin1Char('/') + escaped;
    return next;
}

Pointer Pointer::operator/(int index) const {
    Pointer next;
    next._text = _text + QLatin1Char('/') + QString::number(index);
    return next;
}

bool Errors::fail(const Pointer& at, const QString& problem) {
    // The innermost report is the precise one; callers that add context come later.
    if (_problem.isEmpty()) {
        _at = at.text();
        _problem = problem;
    }
    return false;
}

bool parseJson(const QByteArray& text, JsonDocument* document, Errors& errors) {
    Parse parse{text, {}, false, 0};
    document->Populate(parse);
    size_t offset = parse.result.Offset();
    QString problem;
    if (document->outOfRange()) {
        problem = QStringLiteral("a number beyond the range of a double");
    } else if (parse.tooDeep) {
        problem =
            QStringLiteral("arrays and objects nest deeper than %1 levels").arg(kJsonMaxDepth);
    } else if (parse.result.IsError()) {
        problem = QString::fromLatin1(rapidjson::GetParseError_En(parse.result.Code()));
        if (problem.endsWith(QLatin1Char('.'))) problem.chop(1);
        problem[0] = problem.at(0).toLower();
    } else if (parse.end < size_t(text.size())) {
        // The parser stops at a NUL as at the end of the text.
        offset = parse.end;
        problem = QStringLiteral("a NUL character after the document");
    } else {
        return true;
    }
    int line = 1;
    int column = 1;
    for (size_t i = 0; i < offset && i < size_t(text.size()); ++i) {
        const uchar c = uchar(text.at(int(i)));
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xc0) != 0x80) {
            ++column;  // UTF-8 continuation bytes belong to the character before
        }
    }
    return errors.fail(Pointer(), QStringLiteral("malformed JSON at line %1, column %2: %3")
                                      .arg(line)
                                      .arg(column)
                                      .arg(problem));
}

bool JsonDocument::RawNumber(const char* text, rapidjson::SizeType length, bool) {
    const char* const end = text + length;
    const bool whole =
        std::none_of(text, end, [](char c) { return c == '.' || c == 'e' || c == 'E'; });
    if (whole && length > 0 && text[0] == '-') {
        qint64 number = 0;
        const auto read = std::from_chars(text, end, number);
        if (read.ec == std::errc() && read.ptr == end) return Int64(number);
    } else if (whole) {
        quint64 number = 0;
        const auto read = std::from_chars(text, end, number);
        if (read.ec == std::errc() && read.ptr == end) return Uint64(number);
    }
    // Fractions, exponents and whole numbers beyond 64 bits, as doubles.
    double number = 0;
    const auto read = std::from_chars(text, end, number);
    // Beyond a double's range either way: refused rather than read as infinity or zero.
    _outOfRange = read.ec != std::errc();
    if (_outOfRange) return false;
    return Double(number);
}

bool checkHeader(const JsonValue* format, const JsonValue* version, const char* expected,
                 Errors& errors) {
    const Pointer formatAt = Pointer() / "format";
    const Pointer versionAt = Pointer() / "version";
    QString found;
    int number = 0;
    if (!require(format, "format", Pointer(), errors) ||
        !readString(*format, formatAt, errors, &found))
        return false;
    if (found != QLatin1String(expected))
        return errors.fail(formatAt, QStringLiteral("unknown format ") + quoted(found) +
                                         QStringLiteral("; expected ") +
                                         quoted(QLatin1String(expected)));
    if (!require(version, "version", Pointer(), errors) ||
        !readInt(*version, versionAt, errors, &number))
        return false;
    if (number != kJsonVersion)
        return errors.fail(versionAt, QStringLiteral("unsupported version %1; this library reads"
                                                     " version %2")
                                          .arg(number)
                                          .arg(kJsonVersion));
    return true;
}

QString unknownOrRepeated(const JsonValue& key, bool repeated) {
    return (repeated ? QStringLiteral("repeated member ") : QStringLiteral("unknown member ")) +
           quoted(toQString(key));
}

QString toQString(const JsonValue& string) {
    // Unnamed ports are many, and an empty string needs no allocation.
    if (string.GetStringLength() == 0) return QString(QLatin1String(""));
    return QString::fromUtf8(string.GetString(), int(string.GetStringLength()));
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
