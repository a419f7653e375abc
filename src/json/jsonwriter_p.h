#pragma once

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

namespace Vantrel {
namespace Orv {
namespace detail {

// Writes JSON text as it goes, without a tree of values: every document the library writes goes
// through it, for one layout and one limit on nesting. The writer puts the commas, indentation
// and line breaks; RapidJSON's Writer writes each string and number.
class JsonWriter {
public:
    // Block: each element or member on a line of its own, indented by four spaces a level.
    // Line: the whole array or object on one line, as everything inside it.
    enum class Layout : quint8 { Block, Line };

    explicit JsonWriter(int reserve = 0) { _out.reserve(size_t(qMax(reserve, 0))); }

    // False, with nothing written, where the new array or object would nest deeper than
    // kJsonMaxDepth: the caller refuses the save.
    bool beginObject(Layout layout = Layout::Block) { return begin('{', layout); }
    bool beginArray(Layout layout = Layout::Block) { return begin('[', layout); }
    void end();
    // A member's name; the next call writes its value: out.key("a").integer(1).
    // Literals are the library's own names and keywords, written as they are; any other text
    // comes as a QString and is escaped.
    template <size_t N>
    JsonWriter& key(const char (&literal)[N]) {
        string(literal);
        return afterKey();
    }
    JsonWriter& key(const QString& name) {
        string(name);
        return afterKey();
    }
    template <size_t N>
    void string(const char (&literal)[N]) {
        next();
        _out += '"';
        _out.append(literal, N - 1);
        _out += '"';
    }
    void string(const QString& text);
    void integer(qint64 number);
    // A decimal form that reads back as the same double; `number` must be finite.
    void number(double number);
    // A count of thousandths as a decimal with three places ("-12.345"), exactly.
    void thousandths(qint64 count);
    void boolean(bool value) {
        next();
        _out += value ? "true" : "false";
    }
    void null() {
        next();
        _out += "null";
    }

    // The text so far, with a final newline once every array and object is closed.
    QByteArray take();

private:
    struct Level {
        bool line;
        bool empty;
        char close;
    };
    // Separator and indentation before a value or a key.
    void next();
    bool begin(char open, Layout layout);
    void indent(size_t levels) { _out.append(levels * 4, ' '); }
    JsonWriter& afterKey() {
        _out += ": ";
        _afterKey = true;
        return *this;
    }

    std::string _out;
    std::vector<Level> _levels;
    bool _afterKey = false;
};

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
