#include <Orv/Graph.h>
#include <Orv/Json.h>

#include "json/graphjson_p.h"

#include <QVarLengthArray>

#include <cstring>
#include <string_view>
#include <unordered_map>

namespace Vantrel {
namespace Orv {
namespace detail {

namespace {

// Nodes nest at most this deep here; deeper documents go through Qt's parser, which sets the
// limit on nesting.
const int kMaxDepth = 200;
// Larger documents go through Qt's parser too: Qt 5 refuses documents that do not fit its
// internal form, and this reader must not accept what that parser refuses.
const int kMaxSize = 16 << 20;

// Reads the graph documents that graphFromJson reads member for member, in one pass over the
// bytes. It gives up at the first thing it does not expect (an unknown or repeated member, a
// wrong type, a fraction, an escape it does not decode, ...): every such document goes through
// Qt's parser, so that what is refused is refused with the usual message.
class GraphTextReader {
public:
    GraphTextReader(const QByteArray& text, GraphDesc* desc)
        : _p(text.constData()), _end(text.constData() + text.size()), _desc(desc) {}

    bool read() {
        bool format = false;
        bool version = false;
        bool root = false;
        bool edges = false;
        auto member = [&](std::string_view key) {
            if (key == "format") return once(&format) && expectString(kGraphJsonFormat);
            if (key == "version") return once(&version) && expectInteger(kJsonVersion);
            if (key == "root") return once(&root) && node(-1, 0, 0);
            if (key == "edges") return once(&edges) && readEdges();
            return false;
        };
        if (!object(member) || !format || !version || !root) return false;
        skipSpace();
        return _p == _end;
    }

private:
    static bool once(bool* seen) {
        if (*seen) return false;
        *seen = true;
        return true;
    }

    void skipSpace() {
        while (_p < _end && (*_p == ' ' || *_p == '\n' || *_p == '\r' || *_p == '\t')) ++_p;
    }
    bool take(char c) {
        skipSpace();
        if (_p == _end || *_p != c) return false;
        ++_p;
        return true;
    }
    bool peek(char c) {
        skipSpace();
        return _p < _end && *_p == c;
    }

    // An object whose members `member` reads, given each key (without escapes).
    template <typename Member>
    bool object(Member&& member) {
        if (!take('{')) return false;
        if (take('}')) return true;
        do {
            std::string_view key;
            if (!rawString(&key) || !take(':') || !member(key)) return false;
        } while (take(','));
        return take('}');
    }

    // An array whose elements `element` reads.
    template <typename Element>
    bool array(Element&& element) {
        if (!take('[')) return false;
        if (take(']')) return true;
        do {
            if (!element()) return false;
        } while (take(','));
        return take(']');
    }

    // A string without escapes or control characters, as its bytes.
    bool rawString(std::string_view* out) {
        if (!take('"')) return false;
        const char* start = _p;
        while (_p < _end && *_p != '"') {
            const unsigned char c = static_cast<unsigned char>(*_p);
            if (c == '\\' || c < 0x20) return false;
            if (c < 0x80) {
                ++_p;
            } else if (!skipUtf8()) {
                return false;
            }
        }
        if (_p == _end) return false;
        *out = std::string_view(start, size_t(_p - start));
        ++_p;
        return true;
    }

    // One well-formed UTF-8 sequence of a character that is neither a surrogate nor a
    // noncharacter, so that Qt 5 and Qt 6 read it alike.
    bool skipUtf8() {
        const unsigned char* u = reinterpret_cast<const unsigned char*>(_p);
        const ptrdiff_t left = _end - _p;
        int length = 0;
        char32_t c = 0;
        if (u[0] >= 0xc2 && u[0] <= 0xdf) {
            length = 2;
            c = u[0] & 0x1f;
        } else if (u[0] >= 0xe0 && u[0] <= 0xef) {
            length = 3;
            c = u[0] & 0x0f;
        } else if (u[0] >= 0xf0 && u[0] <= 0xf4) {
            length = 4;
            c = u[0] & 0x07;
        } else {
            return false;
        }
        if (left < length) return false;
        for (int i = 1; i < length; ++i) {
            if ((u[i] & 0xc0) != 0x80) return false;
            c = (c << 6) | (u[i] & 0x3f);
        }
        const char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < lowest[length] || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff) ||
            (c >= 0xfdd0 && c <= 0xfdef) || (c & 0xfffe) == 0xfffe)
            return false;
        _p += length;
        return true;
    }

    // A string as a QString, one QString per distinct text, so that names repeated in edges and
    // ports share their storage and cost no conversion.
    bool string(QString* out) {
        std::string_view bytes;
        if (!rawString(&bytes)) return false;
        // Unnamed ports are common; the empty name costs no look-up and no reference count.
        if (bytes.empty()) {
            *out = _empty;
            return true;
        }
        auto known = _strings.find(bytes);
        if (known == _strings.end())
            known =
                _strings.emplace(bytes, QString::fromUtf8(bytes.data(), int(bytes.size()))).first;
        *out = known->second;
        return true;
    }

    bool expectString(const char* expected) {
        std::string_view bytes;
        return rawString(&bytes) && bytes == expected;
    }

    // A whole number small enough to be exact anywhere: at most nine digits, no leading zero.
    bool integer(int* out) {
        skipSpace();
        const bool negative = _p < _end && *_p == '-';
        if (negative) ++_p;
        const char* start = _p;
        int value = 0;
        while (_p < _end && *_p >= '0' && *_p <= '9') {
            if (_p - start == 9) return false;  // a tenth digit
            value = value * 10 + (*_p++ - '0');
        }
        const ptrdiff_t digits = _p - start;
        if (digits == 0 || (*start == '0' && digits > 1)) return false;
        // A number goes on with a fraction or an exponent: leave those to Qt.
        if (_p < _end && (*_p == '.' || *_p == 'e' || *_p == 'E')) return false;
        *out = negative ? -value : value;
        return true;
    }

    bool expectInteger(int expected) {
        int value = 0;
        return integer(&value) && value == expected;
    }

    bool node(int parent, int index, int depth) {
        if (depth > kMaxDepth) return false;
        // Children follow their parent in the list: its place is taken before they are read.
        const int self = _desc->nodes.size();
        _desc->nodes.append(NodeDesc());
        _desc->ids.append(-1);
        NodeDesc node;
        node.parent = parent;
        node.index = index;
        int id = -1;
        bool seen[5] = {};
        bool children = false;
        auto member = [&](std::string_view key) {
            if (key == "name") return once(&seen[0]) && string(&node.name);
            if (key == "value") return once(&seen[1]) && integer(&node.value);
            if (key == "inputs") return once(&node.hasInputs) && ports(&node.inputs);
            if (key == "outputs") return once(&node.hasOutputs) && ports(&node.outputs);
            if (key == "inputGroups") return once(&seen[2]) && groups(&node.inputGroups);
            if (key == "outputGroups") return once(&seen[3]) && groups(&node.outputGroups);
            if (key == "id") return parent >= 0 && once(&seen[4]) && integer(&id);
            if (key == "children") {
                int c = 0;
                return once(&children) && array([&] { return this->node(self, c++, depth + 1); });
            }
            return false;
        };
        if (!object(member)) return false;
        _desc->nodes[self] = std::move(node);
        _desc->ids[self] = id;
        return true;
    }

    bool ports(QVector<PortDesc>* out) {
        // Gathered first, so that the node's list is allocated once and at its size.
        QVarLengthArray<PortDesc, 8> ports;
        const bool ok = array([&] {
            PortDesc port;
            if (peek('"')) {
                if (!string(&port.name)) return false;
            } else {
                bool name = false;
                bool group = false;
                auto member = [&](std::string_view key) {
                    if (key == "name") return once(&name) && string(&port.name);
                    if (key == "group") return once(&group) && integer(&port.group);
                    return false;
                };
                if (!object(member)) return false;
            }
            ports.append(std::move(port));
            return true;
        });
        *out = QVector<PortDesc>(ports.begin(), ports.end());
        return ok;
    }

    bool groups(QStringList* out) {
        return array([&] {
            QString name;
            if (!string(&name)) return false;
            out->append(std::move(name));
            return true;
        });
    }

    // An edge end's elements: names and indexes; anything else is for the full reader.
    bool path(PathRange* range) {
        range->begin = _desc->tokens.size();
        const bool ok = array([&] {
            if (peek('"')) {
                PathToken token;
                token.kind = PathToken::Name;
                if (!string(&token.name)) return false;
                _desc->tokens.append(std::move(token));
            } else {
                int index = 0;
                if (!integer(&index)) return false;
                PathToken token;
                token.kind = PathToken::Number;
                token.number = index;
                _desc->tokens.append(std::move(token));
            }
            return true;
        });
        range->size = _desc->tokens.size() - range->begin;
        return ok;
    }

    bool readEdges() {
        return array([&] {
            EdgeDesc edge;
            bool from = false;
            bool to = false;
            auto member = [&](std::string_view key) {
                if (key == "from") return once(&from) && path(&edge.from);
                if (key == "to") return once(&to) && path(&edge.to);
                return false;
            };
            if (!object(member) || !from || !to) return false;
            _desc->edges.append(edge);
            return true;
        });
    }

    const char* _p;
    const char* const _end;
    GraphDesc* _desc;
    std::unordered_map<std::string_view, QString> _strings;
    const QString _empty = QStringLiteral("");
};

}  // namespace

bool readGraphText(const QByteArray& text, GraphDesc* desc) {
    if (text.size() > kMaxSize) return false;
    // Roughly what a saved graph of unnamed nodes holds per byte, so that the lists seldom grow.
    desc->nodes.reserve(text.size() / 128);
    desc->edges.reserve(text.size() / 64);
    desc->tokens.reserve(text.size() / 16);
    desc->ids.reserve(text.size() / 128);
    return GraphTextReader(text, desc).read();
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
