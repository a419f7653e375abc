#pragma once

#include <Orv/Json.h>

#include <QByteArray>
#include <QString>

#include <rapidjson/document.h>

#include <cstring>

namespace Vantrel {
namespace Orv {
namespace detail {

using JsonValue = rapidjson::Value;

// A RapidJSON document that, as the parser's handler, refuses arrays and objects nested deeper
// than kJsonMaxDepth: the parser does not recurse, but neither the readers nor Qt's classes in
// the adapters should see deeper documents.
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

// A JSON pointer (RFC 6901) that grows as the readers descend; the whole document's is "".
class Pointer {
public:
    Pointer() = default;
    Pointer operator/(const QString& key) const;
    Pointer operator/(const char* key) const { return *this / QString::fromUtf8(key); }
    Pointer operator/(int index) const;
    const QString& text() const { return _text; }

private:
    QString _text;
};

// The first error of a load, "<JSON pointer>: <problem>". Readers return false after fail().
class Errors {
public:
    bool fail(const Pointer& at, const QString& problem);
    QString text() const { return _at + QStringLiteral(": ") + _problem; }

private:
    QString _at;
    QString _problem;
};

// Parses `text` into `document` without recursion, refusing malformed text and nesting deeper
// than kJsonMaxDepth with the line and column (counted in characters, from 1) where it stops.
bool parseJson(const QByteArray& text, JsonDocument* document, Errors& errors);

// The "format" and "version" members of a document, either of them possibly missing.
bool checkHeader(const JsonValue* format, const JsonValue* version, const char* expected,
                 Errors& errors);

QString toQString(const JsonValue& string);
QString unknownOrRepeated(const JsonValue& key, bool repeated);

// Where a reader is: a Pointer, or a callable that makes one, so that hot readers build the
// pointer only when an error names it.
inline const Pointer& pointerOf(const Pointer& at) {
    return at;
}
template <typename At>
Pointer pointerOf(const At& at) {
    return at();
}

// The members of one object that a reader knows, found in one pass over it: `values[i]` is the
// member named `names[i]`, or null. Refuses a value that is not an object and unknown or
// repeated members.
template <typename At>
bool readMembers(const JsonValue& object, const char* const* names, int count, const At& at,
                 Errors& errors, const JsonValue** values) {
    if (!object.IsObject()) return errors.fail(pointerOf(at), QStringLiteral("expected an object"));
    for (int i = 0; i < count; ++i) values[i] = nullptr;
    for (auto member = object.MemberBegin(); member != object.MemberEnd(); ++member) {
        const char* key = member->name.GetString();
        const size_t length = member->name.GetStringLength();
        int found = 0;
        while (found < count &&
               (std::strlen(names[found]) != length || std::memcmp(names[found], key, length)))
            ++found;
        if (found == count || values[found])
            return errors.fail(pointerOf(at) / toQString(member->name),
                               unknownOrRepeated(member->name, found < count));
        values[found] = &member->value;
    }
    return true;
}

// Refuses a member that readMembers found missing.
template <typename At>
bool require(const JsonValue* value, const char* name, const At& object, Errors& errors) {
    return value || errors.fail(pointerOf(object),
                                QStringLiteral("missing member '%1'").arg(QLatin1String(name)));
}

template <typename At>
bool readString(const JsonValue& value, const At& at, Errors& errors, QString* out) {
    if (!value.IsString()) return errors.fail(pointerOf(at), QStringLiteral("expected a string"));
    *out = toQString(value);
    return true;
}

// A number written as a whole number ("1", not "1.0" nor "1e0") within int's range.
template <typename At>
bool readInt(const JsonValue& value, const At& at, Errors& errors, int* out) {
    if (!value.IsInt())
        return errors.fail(pointerOf(at),
                           QStringLiteral("expected a whole number within the range of int"));
    *out = value.GetInt();
    return true;
}

template <typename At>
bool readBool(const JsonValue& value, const At& at, Errors& errors, bool* out) {
    if (!value.IsBool())
        return errors.fail(pointerOf(at), QStringLiteral("expected true or false"));
    *out = value.GetBool();
    return true;
}

template <typename At>
bool expectArray(const JsonValue& value, const At& at, Errors& errors) {
    return value.IsArray() || errors.fail(pointerOf(at), QStringLiteral("expected an array"));
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
