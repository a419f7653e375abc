#pragma once

#include <Orv/Json.h>

#include <QByteArray>
#include <QString>

#include <rapidjson/document.h>

#include <vector>

namespace Vantrel {
namespace Orv {
namespace detail {

using JsonValue = rapidjson::Value;

// A RapidJSON document that, as the parser's handler, refuses nesting deeper than kJsonMaxDepth:
// the parser does not recurse, but the readers and Qt's classes in the adapters do.
class JsonDocument : public rapidjson::Document {
public:
    bool StartObject() { return enter() && rapidjson::Document::StartObject(); }
    bool StartArray() { return enter() && rapidjson::Document::StartArray(); }
    bool EndObject(rapidjson::SizeType count) {
        --_depth;
        return rapidjson::Document::EndObject(count);
    }
    bool EndArray(rapidjson::SizeType count) {
        --_depth;
        return rapidjson::Document::EndArray(count);
    }
    // Numbers arrive as text and are converted here with std::from_chars, which rounds
    // correctly, so that every double the writer saves reads back as the same double.
    bool RawNumber(const char* text, rapidjson::SizeType length, bool copy);
    bool tooDeep() const { return _tooDeep; }
    bool outOfRange() const { return _outOfRange; }

private:
    bool enter() {
        _tooDeep = ++_depth > kJsonMaxDepth;
        return !_tooDeep;
    }

    int _depth = 0;
    bool _tooDeep = false;
    bool _outOfRange = false;
};

// One step of a JSON pointer: a key of the library's, a key from the document, or an index.
struct Token {
    Token() = default;
    Token(const char* key) : key(key) {}
    Token(int index) : index(index) {}
    explicit Token(const JsonValue& name) : name(&name) {}
    const char* key = nullptr;
    const JsonValue* name = nullptr;
    int index = -1;
};

// Where a reader is, as a stack of steps: the JSON pointer (RFC 6901) is written only when an
// error names the place, so that reading costs no text. The whole document's is "".
class Path {
public:
    void push(Token token) { _tokens.push_back(token); }
    void pop() { _tokens.pop_back(); }
    // The pointer, with `last` after the steps.
    QString text(Token last = Token()) const;

private:
    std::vector<Token> _tokens;
};

// Steps into a member or an element for as long as it lives.
class Step {
public:
    Step(Path& path, Token token) : _path(path) { _path.push(token); }
    ~Step() { _path.pop(); }
    Q_DISABLE_COPY(Step)

private:
    Path& _path;
};

// The place the readers are at, and the first error of a load; readers return false after fail().
class Errors {
public:
    Path at;
    // At `place`, one step below the readers' place.
    bool fail(Token place, const QString& problem) { return fail(at, place, problem); }
    bool fail(const Path& path, Token place, const QString& problem);
    QString text() const { return _at + QStringLiteral(": ") + _problem; }

private:
    QString _at;
    QString _problem;
};

// Parses `text`, finds its members `names` ("format" and "version" first) and checks these; a
// document of the library's other kind is refused at its format, before its members.
bool readDocument(const QByteArray& text, const char* format, const char* const* names, int count,
                  JsonDocument* document, Errors& errors, const JsonValue** values);

QString toQString(const JsonValue& string);

// The known members of the object at the readers' place, in one pass: `values[i]` is the one
// named `names[i]`, or null. Refuses anything but an object, and unknown or repeated members.
bool readMembers(const JsonValue& object, const char* const* names, int count, Errors& errors,
                 const JsonValue** values);
// Refuses a member that readMembers found missing.
inline bool require(const JsonValue* value, const char* name, Errors& errors) {
    return value ||
           errors.fail(Token(), QStringLiteral("missing member '%1'").arg(QLatin1String(name)));
}

// Scalars and arrays at `at`.
inline bool readString(const JsonValue& value, Token at, Errors& errors, QString* out) {
    if (!value.IsString()) return errors.fail(at, QStringLiteral("expected a string"));
    *out = toQString(value);
    return true;
}
// A number written as a whole number ("1", not "1.0" nor "1e0") within int's range.
inline bool readInt(const JsonValue& value, Token at, Errors& errors, int* out) {
    if (!value.IsInt())
        return errors.fail(at, QStringLiteral("expected a whole number within the range of int"));
    *out = value.GetInt();
    return true;
}
inline bool readBool(const JsonValue& value, Token at, Errors& errors, bool* out) {
    if (!value.IsBool()) return errors.fail(at, QStringLiteral("expected true or false"));
    *out = value.GetBool();
    return true;
}
inline bool expectArray(const JsonValue& value, Token at, Errors& errors) {
    return value.IsArray() || errors.fail(at, QStringLiteral("expected an array"));
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
