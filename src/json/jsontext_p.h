#pragma once

#include <QByteArray>
#include <QString>

#include <climits>
#include <cstring>

namespace Vantrel {
namespace Orv {
namespace detail {

// Longest line that the writer keeps an array or object on.
const int kJsonLineWidth = 100;

// Where JsonWriter writes: a buffer that grows by doubling and appends without the checks of
// QByteArray::append, which cost more than the bytes themselves.
class JsonOut {
public:
    explicit JsonOut(int capacity = 0) { grow(capacity); }
    void append(char c) {
        if (_size == _bytes.size()) grow(1);
        _data[_size++] = c;
    }
    void append(const char* text) { append(text, int(std::strlen(text))); }
    void append(const char* bytes, int count) {
        if (count > _bytes.size() - _size) grow(count);
        std::memcpy(_data + _size, bytes, size_t(count));
        _size += count;
    }
    int size() const { return _size; }
    void truncate(int size) { _size = qMin(_size, size); }
    QByteArray take() {
        _bytes.resize(_size);
        return std::move(_bytes);
    }

private:
    void grow(int count) {
        _bytes.resize(int(qMin<qint64>(qint64(_bytes.size()) * 2 + count + 256, INT_MAX - 64)));
        _data = _bytes.data();
    }

    QByteArray _bytes;
    char* _data = nullptr;
    int _size = 0;
};

// A JSON string: UTF-8 with '"', '\\', control characters and unpaired surrogates escaped,
// nothing else.
void appendJsonString(const QString& text, JsonOut* out);
// A whole number in decimal, as QByteArray::number writes it.
void appendJsonInteger(qint64 number, JsonOut* out);
void appendSpaces(int count, JsonOut* out);

// Indented text that keeps short arrays and objects on one line, so that an edge or a small
// node reads as one line and diffs as one. `Model` says what a value holds:
//   Value                            a value of the document, copied freely
//   bool isArray(v), isObject(v)     otherwise a scalar
//   void appendScalar(v, out)
//   int size(v)                      an array's elements or an object's members
//   Value at(v, i)                   element or member value i
//   void appendKey(v, i, out)        member i's key, quoted
template <typename Model>
class JsonWriter {
public:
    using Value = typename Model::Value;

    JsonWriter(const Model& model, JsonOut* out) : _model(model), _out(out) {}

    // `value` at an indentation of `indent`, after `used` columns of its line.
    void write(const Value& value, int indent, int used) {
        const int start = _out->size();
        // A scalar stays on its line even when it is longer than the line.
        const bool composite = _model.isArray(value) || _model.isObject(value);
        if (oneLine(value, kJsonLineWidth - used) || !composite) return;
        _out->truncate(start);
        const bool isArray = _model.isArray(value);
        _out->append(isArray ? "[\n" : "{\n");
        const int count = _model.size(value);
        for (int i = 0; i < count; ++i) {
            appendSpaces(indent + 4, _out);
            int prefix = 0;
            if (!isArray) {
                const int before = _out->size();
                _model.appendKey(value, i, _out);
                _out->append(": ");
                prefix = _out->size() - before;
            }
            // One column for the comma that may follow.
            write(_model.at(value, i), indent + 4, indent + 4 + prefix + 1);
            _out->append(i + 1 < count ? ",\n" : "\n");
        }
        appendSpaces(indent, _out);
        _out->append(isArray ? ']' : '}');
    }

private:
    // The one-line form of `value`, given up (false) as soon as it grows past `budget` bytes, so
    // that trying it at every level costs no more than the line it could fill.
    bool oneLine(const Value& value, int budget) {
        const int start = _out->size();
        const bool isArray = _model.isArray(value);
        if (isArray || _model.isObject(value)) {
            _out->append(isArray ? '[' : '{');
            for (int i = 0, count = _model.size(value); i < count; ++i) {
                if (i > 0) _out->append(", ");
                if (!isArray) {
                    _model.appendKey(value, i, _out);
                    _out->append(": ");
                }
                if (!oneLine(_model.at(value, i), budget - (_out->size() - start))) return false;
            }
            _out->append(isArray ? ']' : '}');
        } else {
            _model.appendScalar(value, _out);
        }
        return _out->size() - start <= budget;
    }

    const Model& _model;
    JsonOut* _out;
};

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
