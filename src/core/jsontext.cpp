#include "jsontext_p.h"

#include "graphjson_p.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QStringList>

#include <cmath>

namespace Vantrel {
namespace Orv {
namespace JsonDetail {

namespace {

// Escapes what JSON requires in UTF-8 bytes; multi-byte sequences pass as they are.
void appendEscaped(const char* bytes, int size, JsonOut* out) {
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < size; ++i) {
        const char c = bytes[i];
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out->append('\\');
            out->append(c);
        } else if (u < 0x20) {
            out->append("\\u00");
            out->append(kHex[u >> 4]);
            out->append(kHex[u & 15]);
        } else {
            out->append(c);
        }
    }
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
    const QChar* chars = text.constData();
    const int size = text.size();
    int i = 0;
    // ASCII needs no conversion; the rest goes through Qt's UTF-8 encoder as one piece.
    for (; i < size && chars[i].unicode() < 0x80; ++i) {
        const char c = char(chars[i].unicode());
        if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            appendEscaped(&c, 1, out);
        else
            out->append(c);
    }
    if (i < size) {
        const QByteArray utf8 = text.mid(i).toUtf8();
        appendEscaped(utf8.constData(), utf8.size(), out);
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

}  // namespace JsonDetail
}  // namespace Orv
}  // namespace Vantrel
