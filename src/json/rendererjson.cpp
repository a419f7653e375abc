#include <Orv/Graph.h>
#include <Orv/Json.h>
#include <Orv/Renderer.h>

#include "graph/refusal_p.h"
#include "json/graphjson_p.h"
#include "render/passports_p.h"
#include "render/renderer_p.h"

#include <QJsonDocument>
#include <QSet>
#include <QStringList>
#include <QVariant>

#include <cmath>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

namespace Vantrel {
namespace Orv {

using namespace detail;

namespace {

const int kRoot = Graph::kRootNodeRef;

// Qt 5 keeps a JSON number as a double, exact up to 2^53; larger 64-bit values go as strings.
const double kExactIntegerLimit = 9007199254740992.0;

// The extra members of a renderer's nodes.
enum Extra { kKind = kExtra, kType, kEnabled };
const char* const kExtraKeys[] = {"kind", "type", "enabled"};

bool readWhole(const JsonValue& value, double lo, double hi, Errors& errors, double* out) {
    const bool whole = value.IsInt64() || value.IsUint64();
    const double number = whole ? value.GetDouble() : 0;
    if (!whole || number < lo || number > hi)
        return errors.fail(Token(), QStringLiteral("expected a whole number from %1 to %2")
                                        .arg(lo, 0, 'g', 20)
                                        .arg(hi, 0, 'g', 20));
    *out = number;
    return true;
}

bool refuse(QString* why, const QString& problem) {
    *why = problem;
    return false;
}

QString nestsTooDeep() {
    return QStringLiteral("nests deeper than a document may (%1 levels)").arg(kJsonMaxDepth);
}

// How the scalar types write their values.
bool writeNull(const QVariant&, JsonWriter& out, QString*) {
    out.null();
    return true;
}

template <typename T, void (JsonWriter::*write)(T)>
bool writeScalar(const QVariant& value, JsonWriter& out, QString*) {
    (out.*write)(value.value<std::decay_t<T>>());
    return true;
}

// A 64-bit integer as a number where a double holds it exactly, else as a decimal string.
template <typename Integer>
bool writeInteger(const QVariant& value, JsonWriter& out, QString*) {
    const Integer number = value.value<Integer>();
    if (std::fabs(double(number)) <= kExactIntegerLimit)
        out.integer(qint64(number));
    else
        out.string(QString::number(number));
    return true;
}

bool writeNumber(const QVariant& value, JsonWriter& out, QString* why) {
    const double number = value.toDouble();
    if (!std::isfinite(number))
        return refuse(why, QStringLiteral("%1 is not a finite number").arg(number));
    out.number(number);
    return true;
}

bool writeStringList(const QVariant& value, JsonWriter& out, QString* why) {
    if (!out.beginArray(JsonWriter::Layout::Line)) return refuse(why, nestsTooDeep());
    for (const QString& text : value.toStringList()) out.string(text);
    out.end();
    return true;
}

// How they read them back, at the readers' place.
template <bool isNullptr>
bool readNull(const JsonValue& value, Errors& errors, QVariant* out) {
    *out = isNullptr ? QVariant::fromValue(nullptr) : QVariant();
    return value.IsNull() || errors.fail(Token(), QStringLiteral("expected null"));
}

// A scalar that the reader of its kind gives.
template <typename T, bool (*read)(const JsonValue&, Token, Errors&, T*)>
bool readScalar(const JsonValue& value, Errors& errors, QVariant* out) {
    T result{};
    if (!read(value, Token(), errors, &result)) return false;
    *out = QVariant::fromValue(result);
    return true;
}

// A whole number within the type's range; a 64-bit one as a number that a double holds exactly,
// or as a decimal string.
template <typename Integer>
bool readInteger(const JsonValue& value, Errors& errors, QVariant* out) {
    const bool isSigned = std::is_signed<Integer>::value;
    const bool wide = sizeof(Integer) == 8;
    double number = 0;
    if (wide && value.IsString()) {
        bool ok = false;
        const QString text = toQString(value);
        *out = isSigned ? QVariant(text.toLongLong(&ok)) : QVariant(text.toULongLong(&ok));
        return ok || errors.fail(Token(), QStringLiteral("expected a 64-bit integer"));
    }
    const double lo =
        wide ? (isSigned ? -kExactIntegerLimit : 0.0) : double(std::numeric_limits<Integer>::min());
    const double hi = wide ? kExactIntegerLimit : double(std::numeric_limits<Integer>::max());
    if (!readWhole(value, lo, hi, errors, &number)) return false;
    *out = QVariant::fromValue(Integer(number));
    return true;
}

template <typename Number>
bool readNumber(const JsonValue& value, Errors& errors, QVariant* out) {
    if (!value.IsNumber() ||
        std::fabs(value.GetDouble()) > double(std::numeric_limits<Number>::max()))
        return errors.fail(
            Token(), QStringLiteral("expected a number that fits a ") +
                         QLatin1String(std::is_same<Number, float>::value ? "float" : "double"));
    *out = QVariant::fromValue(Number(value.GetDouble()));
    return true;
}

bool readStringList(const JsonValue& value, Errors& errors, QVariant* out) {
    if (!expectArray(value, Token(), errors)) return false;
    QStringList list;
    for (rapidjson::SizeType i = 0; i < value.Size(); ++i) {
        QString text;
        if (!readString(value[i], int(i), errors, &text)) return false;
        list.append(text);
    }
    *out = list;
    return true;
}

// The scalar types of parameter values, by their names in type descriptors; lists and maps nest.
struct ValueType {
    const char* name;
    int id;  // QMetaType::Type
    bool (*write)(const QVariant& value, JsonWriter& out, QString* why);
    bool (*read)(const JsonValue& value, Errors& errors, QVariant* out);
};
const ValueType kValueTypes[] = {
    {"null", QMetaType::UnknownType, writeNull, readNull<false>},
    {"nullptr", QMetaType::Nullptr, writeNull, readNull<true>},
    {"bool", QMetaType::Bool, writeScalar<bool, &JsonWriter::boolean>, readScalar<bool, readBool>},
    {"int", QMetaType::Int, writeScalar<qint64, &JsonWriter::integer>, readInteger<int>},
    {"uint", QMetaType::UInt, writeScalar<qint64, &JsonWriter::integer>, readInteger<uint>},
    {"qlonglong", QMetaType::LongLong, writeInteger<qlonglong>, readInteger<qlonglong>},
    {"qulonglong", QMetaType::ULongLong, writeInteger<qulonglong>, readInteger<qulonglong>},
    {"float", QMetaType::Float, writeNumber, readNumber<float>},
    {"double", QMetaType::Double, writeNumber, readNumber<double>},
    {"QString", QMetaType::QString, writeScalar<const QString&, &JsonWriter::string>,
     readScalar<QString, readString>},
    {"QStringList", QMetaType::QStringList, writeStringList, readStringList},
};

// A parameter value's JSON, or its type descriptor of the same shape, so that an int comes back
// as an int. `why` names what cannot be carried. The writer's limit on nesting bounds recursion.
bool writeVariant(const QVariant& value, bool types, JsonWriter& out, QString* why) {
    const int id = value.userType();
    if (id == QMetaType::QVariantMap) {
        if (!out.beginObject(JsonWriter::Layout::Line)) return refuse(why, nestsTooDeep());
        const QVariantMap map = value.toMap();
        for (auto member = map.begin(); member != map.end(); ++member) {
            out.key(member.key());
            if (!writeVariant(member.value(), types, out, why))
                return refuse(why, QStringLiteral("key ") + quoted(member.key()) +
                                       QStringLiteral(": ") + *why);
        }
        out.end();
        return true;
    }
    if (id == QMetaType::QVariantList) {
        if (!out.beginArray(JsonWriter::Layout::Line)) return refuse(why, nestsTooDeep());
        const QVariantList list = value.toList();
        for (int i = 0; i < list.size(); ++i) {
            if (!writeVariant(list.at(i), types, out, why))
                return refuse(why, QStringLiteral("element %1: ").arg(i) + *why);
        }
        out.end();
        return true;
    }
    for (const ValueType& type : kValueTypes) {
        if (type.id != id) continue;
        if (!types) return type.write(value, out, why);
        out.string(QString(QLatin1String(type.name)));
        return true;
    }
    return refuse(why, QStringLiteral("its type ") + quoted(QString::fromLatin1(value.typeName())) +
                           QStringLiteral(" has no JSON form"));
}

// A parameter value, at the readers' place, as its type descriptor at `types` says, or as plain
// JSON gives it where there is none. The parser's limit on nesting bounds the recursion.
bool decodeValue(const JsonValue& value, const JsonValue* type, Path& types, Errors& errors,
                 QVariant* out) {
    const bool isMap = type ? type->IsObject() : value.IsObject();
    if (!(type ? isMap || type->IsArray() : isMap || value.IsArray())) {
        if (!type) {
            if (value.IsNumber())
                *out = value.GetDouble();
            else if (value.IsBool())
                *out = value.GetBool();
            else if (value.IsString())
                *out = toQString(value);
            return true;
        }
        if (!type->IsString())
            return errors.fail(types, Token(),
                               QStringLiteral("expected a type name, array or object"));
        const QString name = toQString(*type);
        for (const ValueType& scalar : kValueTypes) {
            if (name == QLatin1String(scalar.name)) return scalar.read(value, errors, out);
        }
        return errors.fail(types, Token(), QStringLiteral("unknown value type ") + quoted(name));
    }
    const QString keysListed = QStringLiteral("expected an object with the keys its type lists");
    if (type && isMap && !value.IsObject()) return errors.fail(Token(), keysListed);
    if (!isMap) {
        if (type && (!value.IsArray() || value.Size() != type->Size()))
            return errors.fail(Token(), QStringLiteral("expected an array of %1 elements, as"
                                                       " its type says")
                                            .arg(type->Size()));
        QVariantList list;
        for (rapidjson::SizeType i = 0; i < value.Size(); ++i) {
            const Step valueAt(errors.at, int(i));
            const Step typeAt(types, int(i));
            QVariant element;
            if (!decodeValue(value[i], type ? &(*type)[i] : nullptr, types, errors, &element))
                return false;
            list.append(element);
        }
        *out = list;
        return true;
    }
    QVariantMap map;
    for (auto member = value.MemberBegin(); member != value.MemberEnd(); ++member) {
        const Step valueAt(errors.at, Token(member->name));
        const Step typeAt(types, Token(member->name));
        const auto typed = type ? type->FindMember(member->name) : JsonValue::ConstMemberIterator();
        if (type && typed == type->MemberEnd())
            return errors.fail(Token(), QStringLiteral("a key that its type does not list"));
        const QString key = toQString(member->name);
        QVariant element;
        if (!decodeValue(member->value, type ? &typed->value : nullptr, types, errors, &element))
            return false;
        if (map.contains(key))
            return errors.fail(Token(), QStringLiteral("repeated member ") + quoted(key));
        map.insert(key, element);
    }
    // Every key was found among the type's; the type may list more.
    if (type && map.size() != int(type->MemberCount())) return errors.fail(Token(), keysListed);
    *out = map;
    return true;
}

bool isEmpty(const Renderer& renderer) {
    const Graph& graph = *renderer.getGraph();
    return renderer.numParameters() == 0 && renderer.numOutputs() == 0 &&
           graph.numNodesGlobal() == 1 && graph.numEdgesGlobal() == 0 &&
           graph.numInputs(kRoot) == 0 && graph.numOutputs(kRoot) == 0 &&
           graph.numInputGroups(kRoot) == 0 && graph.numOutputGroups(kRoot) == 0 &&
           renderer.target() == -1;
}

// "pass type 'mix' has inputs ('in0', 'in1'), without groups; these do not match"
QString describePassPorts(const RenderPass& pass, const QString& type, Side side) {
    QStringList names;
    for (int p = 0; p < passPorts(pass, side); ++p)
        names.append(quoted(passPortName(pass, side, p)));
    return QStringLiteral("pass type %1 has %2s (%3), without groups; these do not match")
        .arg(quoted(type), QLatin1String(sideName(side)), names.join(QStringLiteral(", ")));
}

// What a renderer document holds besides its graph.
struct RendererDesc {
    QVector<QVariant> parameterValues;
    int numOutputs = 0;
    std::vector<std::unique_ptr<RenderPass>> passes;  // deleted unless the renderer takes them
    QVector<bool> enabled;                            // by pass
    QSet<RenderPass*> made;
};

// The root's ports are the renderer's parameters and outputs.
bool readParameters(const JsonValue* parameters, const JsonValue* outputs, Errors& errors,
                    RendererDesc* desc, Graph* graph) {
    if (parameters && !expectArray(*parameters, "parameters", errors)) return false;
    for (rapidjson::SizeType p = 0; parameters && p < parameters->Size(); ++p) {
        static const char* const kKeys[] = {"name", "value", "type"};
        const Step list(errors.at, "parameters");
        const Step parameter(errors.at, int(p));
        Path types = errors.at;
        types.push("type");
        const JsonValue* m[3];
        QString name;
        QVariant value;
        if (!readMembers((*parameters)[p], kKeys, 3, errors, m) || !require(m[0], "name", errors) ||
            !readString(*m[0], "name", errors, &name) || !require(m[1], "value", errors))
            return false;
        const Step valueAt(errors.at, "value");
        if (!decodeValue(*m[1], m[2], types, errors, &value)) return false;
        graph->addInput(kRoot, name, Graph::kInvalidGroupRef);
        desc->parameterValues.append(value);
    }
    if (outputs && !expectArray(*outputs, "outputs", errors)) return false;
    const Step list(errors.at, "outputs");
    for (rapidjson::SizeType o = 0; outputs && o < outputs->Size(); ++o) {
        QString name;
        if (!readString((*outputs)[o], int(o), errors, &name)) return false;
        graph->addOutput(kRoot, name, Graph::kInvalidGroupRef);
        ++desc->numOutputs;
    }
    return true;
}

// Every node below the root, at the readers' place, is a pass (with a type and perhaps an enabled
// flag) or a group; the root is neither, and its ports are the parameters and outputs. A pass node
// gets its pass from the factory, and the pass's ports where it lists none, and must match it.
bool readNodeKind(int node, const JsonValue* const* members, const PassFactory& factory,
                  Errors& errors, RendererDesc* desc, Graph* graph) {
    if (node == kRoot && (members[kInputs] || members[kOutputs]))
        return errors.fail(members[kInputs] ? "inputs" : "outputs",
                           QStringLiteral("the root's ports are the renderer's parameters and"
                                          " outputs"));
    if (graph->nodeValue(node) != -1)
        return errors.fail("value", QStringLiteral("node values belong to the renderer"));
    if (node == kRoot) {
        for (int e = kKind; e <= kEnabled; ++e) {
            if (members[e])
                return errors.fail(kExtraKeys[e - kKind],
                                   QStringLiteral("the root is neither a pass nor a group"));
        }
        return true;
    }
    QString kind;
    if (!require(members[kKind], "kind", errors) ||
        !readString(*members[kKind], "kind", errors, &kind))
        return false;
    if (kind == QLatin1String("group")) {
        if (members[kType] || members[kEnabled])
            return errors.fail(members[kType] ? "type" : "enabled",
                               QStringLiteral("a group has no pass type or enabled flag"));
        return true;
    }
    if (kind != QLatin1String("pass"))
        return errors.fail("kind", QStringLiteral("expected \"pass\" or \"group\""));
    QString type;
    bool enabled = true;
    if (!require(members[kType], "type", errors) ||
        !readString(*members[kType], "type", errors, &type) ||
        (members[kEnabled] && !readBool(*members[kEnabled], "enabled", errors, &enabled)))
        return false;
    RenderPass* pass = factory(type);
    if (!pass) return errors.fail("type", QStringLiteral("unknown pass type ") + quoted(type));
    if (desc->made.contains(pass))
        return errors.fail("type", QStringLiteral("the factory returned the same pass twice"));
    desc->made.insert(pass);
    graph->setNodeValue(node, int(desc->passes.size()));
    desc->passes.emplace_back(pass);
    desc->enabled.append(enabled);
    for (int p = 0; !members[kInputs] && p < passPorts(*pass, Side::Input); ++p)
        graph->addInput(node, passPortName(*pass, Side::Input, p), Graph::kInvalidGroupRef);
    for (int p = 0; !members[kOutputs] && p < passPorts(*pass, Side::Output); ++p)
        graph->addOutput(node, passPortName(*pass, Side::Output, p), Graph::kInvalidGroupRef);
    const QVector<PortMismatch> mismatches = passPortMismatches(*graph, node, *pass);
    if (mismatches.isEmpty()) return true;
    const Side side = mismatches.first().side;
    return errors.fail(side == Side::Input ? "inputs" : "outputs",
                       describePassPorts(*pass, type, side));
}

// Passes in the order of their nodes' refs, which the document's ids may have changed.
void orderPasses(RendererDesc* desc, Graph* graph) {
    std::vector<std::unique_ptr<RenderPass>> passes;
    QVector<bool> enabled;
    for (int n = 0; n < graph->numNodesGlobal(); ++n) {
        const int k = graph->nodeValue(n);
        if (k < 0) continue;
        graph->setNodeValue(n, int(passes.size()));
        passes.push_back(std::move(desc->passes[size_t(k)]));
        enabled.append(desc->enabled.at(k));
    }
    desc->passes.swap(passes);
    desc->enabled.swap(enabled);
}

}  // namespace

bool saveRenderer(const Renderer& renderer, const PassTypeName& typeName, QByteArray* text,
                  QString* error) {
    auto refuse = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (!text) return refuse(QStringLiteral("no text to save into"));
    if (!typeName) return refuse(QStringLiteral("no pass type names were given"));
    const Graph& graph = *renderer.getGraph();
    if (graph.numInputs(kRoot) != renderer.numParameters() ||
        graph.numOutputs(kRoot) != renderer.numOutputs())
        return refuse(QStringLiteral("the root has %1 inputs and %2 outputs but the renderer %3"
                                     " parameters and %4 outputs; add root ports only with"
                                     " addParameter and addOutput")
                          .arg(graph.numInputs(kRoot))
                          .arg(graph.numOutputs(kRoot))
                          .arg(renderer.numParameters())
                          .arg(renderer.numOutputs()));
    const int target = renderer.target();
    if (target != -1 && !graph.isValidNode(target))
        return refuse(QStringLiteral("the target %1 is not a live node").arg(target));

    JsonWriter out;
    out.beginObject();
    out.key("format").string(QLatin1String(kRendererJsonFormat));
    out.key("version").integer(kJsonVersion);
    out.key("parameters");
    out.beginArray();
    QString problem;
    for (int p = 0; p < renderer.numParameters(); ++p) {
        // parameterValue only reads, but is not declared const.
        const QVariant value = const_cast<Renderer&>(renderer).parameterValue(p);
        out.beginObject(JsonWriter::Layout::Line);
        out.key("name").string(graph.inputName(kRoot, p));
        out.key("value");
        if (!writeVariant(value, false, out, &problem))
            return refuse(QStringLiteral("parameter %1 ").arg(p) +
                          quoted(graph.inputName(kRoot, p)) + QStringLiteral(": ") + problem);
        out.key("type");
        writeVariant(value, true, out, &problem);
        out.end();
    }
    out.end();
    out.key("outputs");
    out.beginArray(JsonWriter::Layout::Line);
    for (int o = 0; o < renderer.numOutputs(); ++o) out.string(graph.outputName(kRoot, o));
    out.end();

    GraphWriteOptions options;
    options.rootPorts = false;
    options.values = false;
    options.decorate = [&](int node, JsonWriter& writer, QString* why) {
        const RenderPass* pass = renderer.renderPass(node);
        if (!pass) {
            writer.key("kind").string("group");
            return true;
        }
        writer.key("kind").string("pass");
        const QString type = typeName(*pass);
        if (type.isEmpty()) {
            *why = QStringLiteral("the pass of ") + describeNode(graph, node) +
                   QStringLiteral(" has no type name");
            return false;
        }
        // validate() says how they differ.
        if (!passPortMismatches(graph, node, *pass).isEmpty()) {
            *why = QStringLiteral("the ports of ") + describeNode(graph, node) +
                   QStringLiteral(" no longer match its pass");
            return false;
        }
        writer.key("type").string(type);
        writer.key("enabled").boolean(renderer.enabled(node));
        return true;
    };
    out.key("graph");
    out.beginObject();
    if (!writeGraph(graph, options, out, &problem)) return refuse(problem);
    out.end();
    if (target != -1) {
        out.key("target");
        writeNodePath(graph, target, out);
    }
    out.end();
    *text = out.take();
    return true;
}

bool rendererToJson(const Renderer& renderer, const PassTypeName& typeName, QJsonObject* json,
                    QString* error) {
    QByteArray text;
    if (!json) {
        if (error) *error = QStringLiteral("no object to save into");
        return false;
    }
    if (!saveRenderer(renderer, typeName, &text, error)) return false;
    *json = QJsonDocument::fromJson(text).object();
    return true;
}

bool loadRenderer(const QByteArray& text, const PassFactory& factory, Renderer* renderer,
                  QString* error) {
    Errors errors;
    JsonDocument document;
    RendererDesc desc;
    Graph built;
    int target = -1;

    auto load = [&]() -> bool {
        static const char* const kKeys[] = {"format",  "version", "parameters",
                                            "outputs", "graph",   "target"};
        static const char* const kGraphKeys[] = {"root", "edges"};
        const JsonValue* m[6];
        const JsonValue* g[2];
        if (!renderer) return errors.fail(Token(), QStringLiteral("no renderer to load into"));
        if (!factory) return errors.fail(Token(), QStringLiteral("no pass factory was given"));
        if (!isEmpty(*renderer))
            return errors.fail(Token(), QStringLiteral("the renderer is not empty"));
        const NodeHook hook = [&](int node, const JsonValue* const* members) {
            return readNodeKind(node, members, factory, errors, &desc, &built);
        };
        if (!readDocument(text, kRendererJsonFormat, kKeys, 6, &document, errors, m) ||
            !require(m[4], "graph", errors))
            return false;
        {
            const Step graph(errors.at, "graph");
            if (!readMembers(*m[4], kGraphKeys, 2, errors, g)) return false;
        }
        if (!readNodes(g[0], "graph", {kExtraKeys[0], kExtraKeys[1], kExtraKeys[2]}, hook, errors,
                       &built))
            return false;
        orderPasses(&desc, &built);
        return readParameters(m[2], m[3], errors, &desc, &built) &&
               readEdges(g[1], "graph", errors, &built) &&
               (!m[5] || m[5]->IsNull() || resolveNode(built, *m[5], "target", errors, &target));
    };
    if (!load()) {
        if (error) *error = errors.text();
        return false;
    }
    // The renderer takes the graph as built, with the passes, parameters and outputs it names.
    RendererData& d = RendererAccess::data(*renderer);
    d.graph = std::move(built);
    d.parameters = desc.parameterValues;
    d.outputs = QVector<QVariant>(desc.numOutputs);
    d.enabled = desc.enabled;
    for (std::unique_ptr<RenderPass>& pass : desc.passes) {
        d.passes.append(pass.get());
        d.owned.insert(pass.release());
    }
    d.target = target;
    return true;
}

bool rendererFromJson(const QJsonObject& json, const PassFactory& factory, Renderer* renderer,
                      QString* error) {
    return loadRenderer(QJsonDocument(json).toJson(QJsonDocument::Compact), factory, renderer,
                        error);
}

}  // namespace Orv
}  // namespace Vantrel
