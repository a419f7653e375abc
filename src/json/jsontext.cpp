#include "json/jsontext_p.h"

#include "json/graphjson_p.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QStringList>

#include <cmath>

namespace Vantrel {
namespace Orv {
namespace detail {

namespace {

const char kHex[] = "0123456789abcdef";

void appendUnicodeEscape(unsigned code, JsonOut* out) {
    const char escape[] = {'\\',
                           'u',
                           kHex[(code >> 12) & 15],
                           kHex[(code >> 8) & 15],
                           kHex[(code >> 4) & 15],
                           kHex[code & 15]};
    out->append(escape, 6);
}

void appendBytes(const QByteArray& bytes, JsonOut* out) {
    out->append(bytes.constData(), bytes.size());
}

// Members in reading order: what a thing is before what it holds.
const char* const kKeyOrder[] = {"format",       "version",  "name",       "type",    "enabled",
                                 "id",           "value",    "inputs",     "outputs", "inputGroups",
                                 "outputGroups", "children", "parameters", "graph",   "target",
                                 "root",         "edges",    "from",       "to"};

QStringList orderedKeys(const QJsonObject& object) {
    QStringList keys;
    for (const char* key : kKeyOrder) {
        if (object.contains(QLatin1String(key))) keys.append(QString::fromLatin1(key));
    }
    for (const QString& key : object.keys()) {
        if (!keys.contains(key)) keys.append(key);
    }
    return keys;
}

// Qt's JSON values as JsonWriter reads them; an object carries its keys in reading order.
struct QtJsonModel {
    struct Value {
        QJsonValue json;
        QStringList keys;
    };

    static Value make(const QJsonValue& json) {
        return Value{json, json.isObject() ? orderedKeys(json.toObject()) : QStringList()};
    }
    bool isArray(const Value& v) const { return v.json.isArray(); }
    bool isObject(const Value& v) const { return v.json.isObject(); }
    int size(const Value& v) const {
        return v.json.isArray() ? v.json.toArray().size() : v.keys.size();
    }
    Value at(const Value& v, int i) const {
        return make(v.json.isArray() ? v.json.toArray().at(i)
                                     : v.json.toObject().value(v.keys.at(i)));
    }
    void appendKey(const Value& v, int i, JsonOut* out) const {
        appendJsonString(v.keys.at(i), out);
    }
    void appendScalar(const Value& v, JsonOut* out) const {
        switch (v.json.type()) {
            case QJsonValue::Bool:
                out->append(v.json.toBool() ? "true" : "false");
                return;
            case QJsonValue::Double: {
                // Whole numbers as integers; others in the shortest form that reads back the
                // same.
                const double number = v.json.toDouble();
                if (number == std::floor(number) && std::fabs(number) < 1e15)
                    appendJsonInteger(qint64(number), out);
                else
                    appendBytes(QByteArray::number(number, 'g', QLocale::FloatingPointShortest),
                                out);
                return;
            }
            case QJsonValue::String:
                appendJsonString(v.json.toString(), out);
                return;
            default:
                out->append("null");
        }
    }
};

}  // namespace

void appendJsonString(const QString& text, JsonOut* out) {
    out->append('"');
    const ushort* chars = text.utf16();
    for (int i = 0, size = text.size(); i < size; ++i) {
        const unsigned c = chars[i];
        if (c < 0x80) {
            if (c == '"' || c == '\\') {
                out->append('\\');
                out->append(char(c));
            } else if (c < 0x20) {
                appendUnicodeEscape(c, out);
            } else {
                out->append(char(c));
            }
        } else if (c < 0x800) {
            const char bytes[] = {char(0xc0 | (c >> 6)), char(0x80 | (c & 0x3f))};
            out->append(bytes, 2);
        } else if (QChar::isHighSurrogate(c) && i + 1 < size &&
                   QChar::isLowSurrogate(chars[i + 1])) {
            const unsigned code = QChar::surrogateToUcs4(ushort(c), chars[++i]);
            const char bytes[] = {char(0xf0 | (code >> 18)), char(0x80 | ((code >> 12) & 0x3f)),
                                  char(0x80 | ((code >> 6) & 0x3f)), char(0x80 | (code & 0x3f))};
            out->append(bytes, 4);
        } else if (QChar::isSurrogate(c)) {
            // UTF-8 has no form for half a pair; JSON's escape keeps it, and reads back as it was.
            appendUnicodeEscape(c, out);
        } else {
            const char bytes[] = {char(0xe0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3f)),
                                  char(0x80 | (c & 0x3f))};
            out->append(bytes, 3);
        }
    }
    out->append('"');
}

void appendJsonInteger(qint64 number, JsonOut* out) {
    char digits[24];
    int n = int(sizeof digits);
    // Negated as unsigned so that the lowest qint64 has a magnitude too.
    quint64 magnitude = number < 0 ? 0 - quint64(number) : quint64(number);
    do {
        digits[--n] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0) digits[--n] = '-';
    out->append(digits + n, int(sizeof digits) - n);
}

void appendSpaces(int count, JsonOut* out) {
    static const char kSpaces[] =
        "                                                                ";
    const int chunk = int(sizeof kSpaces) - 1;
    for (; count > chunk; count -= chunk) out->append(kSpaces, chunk);
    if (count > 0) out->append(kSpaces, count);
}

QByteArray formatJson(const QJsonObject& object) {
    QtJsonModel model;
    JsonOut text;
    JsonWriter<QtJsonModel>(model, &text).write(QtJsonModel::make(object), 0, 0);
    text.append('\n');
    return text.take();
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
