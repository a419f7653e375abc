#include <Orv/Json.h>

#include "graph/refusal_p.h"
#include "json/jsonreader_p.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace Vantrel {
namespace Orv {
namespace detail {

namespace {

// Runs the parser for Document::Populate, which keeps the document only when it succeeds.
struct Parse {
    const QByteArray& text;
    rapidjson::ParseResult result;
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
        end = stream.Tell();
        return !result.IsError();
    }
};

// Parses `text` into `document` without recursion, refusing malformed text and nesting deeper
// than kJsonMaxDepth with the line and column (counted in characters, from 1) where it stops.
bool parseJson(const QByteArray& text, JsonDocument* document, Errors& errors) {
    Parse parse{text, {}, 0};
    document->Populate(parse);
    size_t offset = parse.result.Offset();
    QString problem;
    if (document->outOfRange()) {
        problem = QStringLiteral("a number beyond the range of a double");
    } else if (document->tooDeep()) {
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
    return errors.fail(
        Token(),
        QStringLiteral("malformed JSON at line %1, column %2: ").arg(line).arg(column) + problem);
}

}  // namespace

QString Path::text(Token last) const {
    QString text;
    const auto add = [&text](const Token& token) {
        if (token.key || token.name) {
            QString key = token.key ? QString::fromUtf8(token.key) : toQString(*token.name);
            text += QLatin1Char('/') + key.replace(QLatin1Char('~'), QLatin1String("~0"))
                                           .replace(QLatin1Char('/'), QLatin1String("~1"));
        } else if (token.index >= 0) {
            text += QLatin1Char('/') + QString::number(token.index);
        }
    };
    for (const Token& token : _tokens) add(token);
    add(last);
    return text;
}

bool Errors::fail(const Path& path, Token place, const QString& problem) {
    // The innermost report is the precise one; callers that add context come later.
    if (_problem.isEmpty()) {
        _at = path.text(place);
        _problem = problem;
    }
    return false;
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

namespace {

bool checkHeader(const JsonValue* format, const JsonValue* version, const char* expected,
                 Errors& errors) {
    QString found;
    int number = 0;
    if (!require(format, "format", errors) || !readString(*format, "format", errors, &found))
        return false;
    if (found != QLatin1String(expected))
        return errors.fail("format", QStringLiteral("unknown format ") + quoted(found) +
                                         QStringLiteral("; expected ") +
                                         quoted(QLatin1String(expected)));
    if (!require(version, "version", errors) || !readInt(*version, "version", errors, &number))
        return false;
    if (number != kJsonVersion)
        return errors.fail("version", QStringLiteral("unsupported version %1; this library reads"
                                                     " version %2")
                                          .arg(number)
                                          .arg(kJsonVersion));
    return true;
}

// A document of the other kind would be refused for its members, but its format says why.
bool isOtherKind(const JsonDocument& document, const char* expected, Errors& errors) {
    const bool graph = !std::strcmp(expected, kGraphJsonFormat);
    const char* other = graph ? kRendererJsonFormat : kGraphJsonFormat;
    if (!document.IsObject()) return false;
    const auto format = document.FindMember("format");
    if (format == document.MemberEnd() || !format->value.IsString() ||
        toQString(format->value) != QLatin1String(other))
        return false;
    errors.fail("format",
                QStringLiteral("this is a %1 document (%2), not a %3 document")
                    .arg(QLatin1String(graph ? "renderer" : "graph"), quoted(QLatin1String(other)),
                         QLatin1String(graph ? "graph" : "renderer")));
    return true;
}

}  // namespace

bool readDocument(const QByteArray& text, const char* format, const char* const* names, int count,
                  JsonDocument* document, Errors& errors, const JsonValue** values) {
    return parseJson(text, document, errors) && !isOtherKind(*document, format, errors) &&
           readMembers(*document, names, count, errors, values) &&
           checkHeader(values[0], values[1], format, errors);
}

bool readMembers(const JsonValue& object, const char* const* names, int count, Errors& errors,
                 const JsonValue** values) {
    if (!object.IsObject()) return errors.fail(Token(), QStringLiteral("expected an object"));
    for (int i = 0; i < count; ++i) values[i] = nullptr;
    for (auto member = object.MemberBegin(); member != object.MemberEnd(); ++member) {
        const char* key = member->name.GetString();
        const size_t length = member->name.GetStringLength();
        int found = 0;
        while (found < count &&
               (std::strlen(names[found]) != length || std::memcmp(names[found], key, length)))
            ++found;
        if (found == count || values[found])
            return errors.fail(Token(member->name),
                               (found < count ? QStringLiteral("repeated member ")
                                              : QStringLiteral("unknown member ")) +
                                   quoted(toQString(member->name)));
        values[found] = &member->value;
    }
    return true;
}

QString toQString(const JsonValue& string) {
    // Unnamed ports are many, and an empty string needs no allocation.
    if (string.GetStringLength() == 0) return QString(QLatin1String(""));
    return QString::fromUtf8(string.GetString(), int(string.GetStringLength()));
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
