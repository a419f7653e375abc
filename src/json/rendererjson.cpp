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

#include <cfloat>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

namespace Vantrel {
namespace Orv {

using namespace detail;

namespace {

const int kRoot = Graph::kRootNodeRef;

// Integers up to 2^53 survive a double, which is all that Qt 5 keeps of a JSON number; larger
// 64-bit values are written as decimal strings.
const double kExactIntegerLimit = 9007199254740992.0;

// The extra members of a renderer's nodes, in NodeMembers::extra.
enum Extra { kKind, kType, kEnabled };
const char* const kExtraKeys[] = {"kind", "type", "enabled"};

// A parameter value's JSON, or its type descriptor of the same shape (a type name for a scalar,
// an array or object of descriptors for a list or map), so that an int comes back as an int
// and not as the double that JSON alone would give. Walks lists and maps with a stack of its
// own. `why` names what cannot be carried.
bool writeVariant(const QVariant& variant, bool types, JsonWriter& out, QString* why) {
    struct Open {
        QVariantList list;
        QVariantMap map;
        QStringList keys;
        int next = 0;
        bool isMap = false;
    };
    std::vector<Open> open;
    QVariant current = variant;
    const auto fail = [&](const QString& problem) {
        *why = problem;
        for (auto frame = open.rbegin(); frame != open.rend(); ++frame)
            *why = (frame->isMap ? QStringLiteral("key ") + quoted(frame->keys.at(frame->next - 1))
                                 : QStringLiteral("element %1").arg(frame->next - 1)) +
                   QStringLiteral(": ") + *why;
        return false;
    };
    const QString tooDeep =
        QStringLiteral("nests deeper than a document may (%1 levels)").arg(kJsonMaxDepth);
    for (;;) {
        const int id = current.userType();
        const auto scalar = [&](const char* type) { out.string(type); };
        switch (id) {
            case QMetaType::UnknownType:
            case QMetaType::Nullptr:
                types ? scalar(id == QMetaType::Nullptr ? "nullptr" : "null") : out.null();
                break;
            case QMetaType::Bool:
                types ? scalar("bool") : out.boolean(current.toBool());
                break;
            case QMetaType::Int:
                types ? scalar("int") : out.integer(current.toInt());
                break;
            case QMetaType::UInt:
                types ? scalar("uint") : out.integer(current.toUInt());
                break;
            case QMetaType::LongLong: {
                const qlonglong number = current.toLongLong();
                if (types)
                    scalar("qlonglong");
                else if (std::fabs(double(number)) <= kExactIntegerLimit)
                    out.integer(number);
                else
                    out.string(QString::number(number));
                break;
            }
            case QMetaType::ULongLong: {
                const qulonglong number = current.toULongLong();
                if (types)
                    scalar("qulonglong");
                else if (double(number) <= kExactIntegerLimit)
                    out.integer(qint64(number));
                else
                    out.string(QString::number(number));
                break;
            }
            case QMetaType::Float:
            case QMetaType::Double: {
                const double number = current.toDouble();
                if (!std::isfinite(number))
                    return fail(QStringLiteral("%1 is not a finite number").arg(number));
                types ? scalar(id == QMetaType::Float ? "float" : "double") : out.number(number);
                break;
            }
            case QMetaType::QString:
                types ? scalar("QString") : out.string(current.toString());
                break;
            case QMetaType::QStringList:
                if (types) {
                    scalar("QStringList");
                    break;
                }
                if (!out.beginArray(JsonWriter::Layout::Line)) return fail(tooDeep);
                for (const QString& text : current.toStringList()) out.string(text);
                out.end();
                break;
            case QMetaType::QVariantList:
            case QMetaType::QVariantMap: {
                Open frame;
                frame.isMap = id == QMetaType::QVariantMap;
                if (!(frame.isMap ? out.beginObject(JsonWriter::Layout::Line)
                                  : out.beginArray(JsonWriter::Layout::Line)))
                    return fail(tooDeep);
                if (frame.isMap) {
                    frame.map = current.toMap();
                    frame.keys = frame.map.keys();
                } else {
                    frame.list = current.toList();
                }
                open.push_back(std::move(frame));
                break;
            }
            default:
                return fail(QStringLiteral("its type ") +
                            quoted(QString::fromLatin1(current.typeName())) +
                            QStringLiteral(" has no JSON form"));
        }
        // The next element of the innermost open list or map, closing those that are done.
        while (!open.empty() && open.back().next == (open.back().isMap ? open.back().keys.size()
                                                                       : open.back().list.size())) {
            out.end();
            open.pop_back();
        }
        if (open.empty()) return true;
        Open& top = open.back();
        if (top.isMap) {
            const QString& key = top.keys.at(top.next);
            out.key(key);
            current = top.map.value(key);
        } else {
            current = top.list.at(top.next);
        }
        ++top.next;
    }
}

bool readWhole(const JsonValue& value, double lo, double hi, const Pointer& at, Errors& errors,
               double* out) {
    const bool whole = value.IsInt64() || value.IsUint64();
    const double number = whole ? value.GetDouble() : 0;
    if (!whole || number < lo || number > hi)
        return errors.fail(at, QStringLiteral("expected a whole number from %1 to %2")
                                   .arg(lo, 0, 'g', 20)
                                   .arg(hi, 0, 'g', 20));
    *out = number;
    return true;
}

// One scalar of a typed value.
bool decodeScalar(const JsonValue& value, const QString& name, const Pointer& valueAt,
                  const Pointer& typeAt, Errors& errors, QVariant* out) {
    double number = 0;
    if (name == QLatin1String("null") || name == QLatin1String("nullptr")) {
        if (!value.IsNull()) return errors.fail(valueAt, QStringLiteral("expected null"));
        *out = name == QLatin1String("null") ? QVariant() : QVariant::fromValue(nullptr);
    } else if (name == QLatin1String("bool")) {
        bool flag = false;
        if (!readBool(value, valueAt, errors, &flag)) return false;
        *out = flag;
    } else if (name == QLatin1String("int")) {
        if (!readWhole(value, INT_MIN, INT_MAX, valueAt, errors, &number)) return false;
        *out = int(number);
    } else if (name == QLatin1String("uint")) {
        if (!readWhole(value, 0, UINT_MAX, valueAt, errors, &number)) return false;
        *out = uint(number);
    } else if (name == QLatin1String("qlonglong") || name == QLatin1String("qulonglong")) {
        // A number that a double holds exactly, or a decimal string.
        const bool isSigned = name == QLatin1String("qlonglong");
        if (value.IsString()) {
            bool ok = false;
            const QString text = toQString(value);
            *out = isSigned ? QVariant(text.toLongLong(&ok)) : QVariant(text.toULongLong(&ok));
            return ok || errors.fail(valueAt, QStringLiteral("expected a 64-bit integer"));
        }
        if (!readWhole(value, isSigned ? -kExactIntegerLimit : 0.0, kExactIntegerLimit, valueAt,
                       errors, &number))
            return false;
        *out = isSigned ? QVariant(qlonglong(number)) : QVariant(qulonglong(number));
    } else if (name == QLatin1String("double") || name == QLatin1String("float")) {
        const bool isFloat = name == QLatin1String("float");
        if (!value.IsNumber() || (isFloat && std::fabs(value.GetDouble()) > double(FLT_MAX)))
            return errors.fail(valueAt, QStringLiteral("expected a number that fits a ") + name);
        *out = isFloat ? QVariant(float(value.GetDouble())) : QVariant(value.GetDouble());
    } else if (name == QLatin1String("QString")) {
        QString text;
        if (!readString(value, valueAt, errors, &text)) return false;
        *out = text;
    } else if (name == QLatin1String("QStringList")) {
        if (!expectArray(value, valueAt, errors)) return false;
        QStringList list;
        for (rapidjson::SizeType i = 0; i < value.Size(); ++i) {
            QString text;
            if (!readString(value[i], valueAt / int(i), errors, &text)) return false;
            list.append(text);
        }
        *out = list;
    } else {
        return errors.fail(typeAt, QStringLiteral("unknown value type ") + quoted(name));
    }
    return true;
}

// A parameter value as its type descriptor says, or as plain JSON gives it where there is none
// (numbers are doubles, arrays lists and objects maps). Walks nested values with a stack of its
// own.
bool decodeValue(const JsonValue& value, const JsonValue* type, const Pointer& valueAt,
                 const Pointer& typeAt, Errors& errors, QVariant* out) {
    struct Open {
        const JsonValue* values = nullptr;
        const JsonValue* types = nullptr;  // null: plain JSON
        Pointer valueAt;
        Pointer typeAt;
        rapidjson::SizeType next = 0;
        QVariantList list;
        QVariantMap map;
        QString key;  // of the element being read
    };
    std::vector<Open> open;
    const JsonValue* v = &value;
    const JsonValue* t = type;
    Pointer vAt = valueAt;
    Pointer tAt = typeAt;
    for (;;) {
        QVariant result;
        bool composite = false;
        if (t ? t->IsArray() || t->IsObject() : v->IsArray() || v->IsObject()) {
            const bool isMap = t ? t->IsObject() : v->IsObject();
            if (t && isMap && !v->IsObject())
                return errors.fail(vAt, QStringLiteral("expected an object with the keys its"
                                                       " type lists"));
            if (t && !isMap && (!v->IsArray() || v->Size() != t->Size()))
                return errors.fail(vAt, QStringLiteral("expected an array of %1 elements, as"
                                                       " its type says")
                                            .arg(t->Size()));
            Open frame;
            frame.values = v;
            frame.types = t;
            frame.valueAt = vAt;
            frame.typeAt = tAt;
            open.push_back(std::move(frame));
            composite = true;
        } else if (!t) {
            if (v->IsNumber())
                result = v->GetDouble();
            else if (v->IsBool())
                result = v->GetBool();
            else if (v->IsString())
                result = toQString(*v);
        } else if (!t->IsString()) {
            return errors.fail(tAt, QStringLiteral("expected a type name, array or object"));
        } else if (!decodeScalar(*v, toQString(*t), vAt, tAt, errors, &result)) {
            return false;
        }
        // Hands the result to the innermost open value, then finds the next element to read.
        for (;;) {
            if (!composite) {
                if (open.empty()) {
                    *out = result;
                    return true;
                }
                Open& top = open.back();
                if (top.values->IsObject()) {
                    if (top.map.contains(top.key))
                        return errors.fail(top.valueAt / top.key,
                                           QStringLiteral("repeated member ") + quoted(top.key));
                    top.map.insert(top.key, result);
                } else {
                    top.list.append(result);
                }
            }
            composite = false;
            Open& top = open.back();
            const bool isMap = top.values->IsObject();
            if (top.next < (isMap ? top.values->MemberCount() : top.values->Size())) break;
            // Every key was found among the type's; the type may list more.
            if (isMap && top.types && top.map.size() != int(top.types->MemberCount()))
                return errors.fail(top.valueAt, QStringLiteral("expected an object with the keys"
                                                               " its type lists"));
            result = isMap ? QVariant(top.map) : QVariant(top.list);
            open.pop_back();
        }
        Open& top = open.back();
        const rapidjson::SizeType i = top.next++;
        if (top.values->IsObject()) {
            const auto member = top.values->MemberBegin() + i;
            top.key = toQString(member->name);
            v = &member->value;
            vAt = top.valueAt / top.key;
            tAt = top.typeAt / top.key;
            t = nullptr;
            if (top.types) {
                const auto typed = top.types->FindMember(member->name);
                if (typed == top.types->MemberEnd())
                    return errors.fail(vAt, QStringLiteral("a key that its type does not list"));
                t = &typed->value;
            }
        } else {
            v = &(*top.values)[i];
            t = top.types ? &(*top.types)[i] : nullptr;
            vAt = top.valueAt / int(i);
            tAt = top.typeAt / int(i);
        }
    }
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
    const Pointer at = Pointer() / "parameters";
    if (parameters && !expectArray(*parameters, at, errors)) return false;
    for (rapidjson::SizeType p = 0; parameters && p < parameters->Size(); ++p) {
        static const char* const kKeys[] = {"name", "value", "type"};
        const Pointer parameterAt = at / int(p);
        const JsonValue* m[3];
        QString name;
        QVariant value;
        if (!readMembers((*parameters)[p], kKeys, 3, parameterAt, errors, m) ||
            !require(m[0], "name", parameterAt, errors) ||
            !readString(*m[0], parameterAt / "name", errors, &name) ||
            !require(m[1], "value", parameterAt, errors) ||
            !decodeValue(*m[1], m[2], parameterAt / "value", parameterAt / "type", errors, &value))
            return false;
        graph->addInput(kRoot, name, Graph::kInvalidGroupRef);
        desc->parameterValues.append(value);
    }
    const Pointer outputsAt = Pointer() / "outputs";
    if (outputs && !expectArray(*outputs, outputsAt, errors)) return false;
    for (rapidjson::SizeType o = 0; outputs && o < outputs->Size(); ++o) {
        QString name;
        if (!readString((*outputs)[o], outputsAt / int(o), errors, &name)) return false;
        graph->addOutput(kRoot, name, Graph::kInvalidGroupRef);
        ++desc->numOutputs;
    }
    return true;
}

// Every node below the root says whether it is a pass (with a type and perhaps an enabled flag)
// or a group; the root is neither and its ports are the parameters and outputs. Node values
// belong to the renderer. A pass node gets its pass from the factory, and the pass's ports where
// it lists none, and must then match it.
bool readNodeKind(int node, const NodeMembers& members, const PassFactory& factory, Errors& errors,
                  RendererDesc* desc, Graph* graph) {
    const auto at = [&] { return nodeAt(*graph, node, Pointer() / "graph"); };
    if (node == kRoot && (members.inputs || members.outputs))
        return errors.fail(at() / (members.inputs ? "inputs" : "outputs"),
                           QStringLiteral("the root's ports are the renderer's parameters and"
                                          " outputs"));
    if (graph->nodeValue(node) != -1)
        return errors.fail(at() / "value", QStringLiteral("node values belong to the renderer"));
    if (node == kRoot) {
        for (int e = kKind; e <= kEnabled; ++e) {
            if (members.extra[e])
                return errors.fail(at() / kExtraKeys[e],
                                   QStringLiteral("the root is neither a pass nor a group"));
        }
        return true;
    }
    QString kind;
    if (!require(members.extra[kKind], "kind", at, errors) ||
        !readString(
            *members.extra[kKind], [&] { return at() / "kind"; }, errors, &kind))
        return false;
    if (kind == QLatin1String("group")) {
        if (members.extra[kType] || members.extra[kEnabled])
            return errors.fail(at() / (members.extra[kType] ? "type" : "enabled"),
                               QStringLiteral("a group has no pass type or enabled flag"));
        return true;
    }
    if (kind != QLatin1String("pass"))
        return errors.fail(at() / "kind", QStringLiteral("expected \"pass\" or \"group\""));
    QString type;
    bool enabled = true;
    if (!require(members.extra[kType], "type", at, errors) ||
        !readString(
            *members.extra[kType], [&] { return at() / "type"; }, errors, &type) ||
        (members.extra[kEnabled] &&
         !readBool(
             *members.extra[kEnabled], [&] { return at() / "enabled"; }, errors, &enabled)))
        return false;
    RenderPass* pass = factory(type);
    if (!pass)
        return errors.fail(at() / "type", QStringLiteral("unknown pass type ") + quoted(type));
    if (desc->made.contains(pass))
        return errors.fail(at() / "type",
                           QStringLiteral("the factory returned the same pass twice"));
    desc->made.insert(pass);
    graph->setNodeValue(node, int(desc->passes.size()));
    desc->passes.emplace_back(pass);
    desc->enabled.append(enabled);
    for (int p = 0; !members.inputs && p < passPorts(*pass, Side::Input); ++p)
        graph->addInput(node, passPortName(*pass, Side::Input, p), Graph::kInvalidGroupRef);
    for (int p = 0; !members.outputs && p < passPorts(*pass, Side::Output); ++p)
        graph->addOutput(node, passPortName(*pass, Side::Output, p), Graph::kInvalidGroupRef);
    const QVector<PortMismatch> mismatches = passPortMismatches(*graph, node, *pass);
    if (mismatches.isEmpty()) return true;
    const Side side = mismatches.first().side;
    return errors.fail(at() / (side == Side::Input ? "inputs" : "outputs"),
                       describePassPorts(*pass, type, side));
}

// Passes in the order of their nodes' refs, as a host adding them one by one would have them,
// where the document's ids gave the nodes another order than their reading.
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
    out.key("format").string(kRendererJsonFormat);
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
        writer.key("kind").string(pass ? "pass" : "group");
        if (!pass) return true;
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
        const Pointer graphAt = Pointer() / "graph";
        if (!renderer) return errors.fail(Pointer(), QStringLiteral("no renderer to load into"));
        if (!factory) return errors.fail(Pointer(), QStringLiteral("no pass factory was given"));
        if (!isEmpty(*renderer))
            return errors.fail(Pointer(), QStringLiteral("the renderer is not empty"));
        const NodeHook hook = [&](int node, const NodeMembers& members) {
            return readNodeKind(node, members, factory, errors, &desc, &built);
        };
        if (!parseJson(text, &document, errors) ||
            !readMembers(document, kKeys, 6, Pointer(), errors, m) ||
            !checkHeader(m[0], m[1], kRendererJsonFormat, errors) ||
            !require(m[4], "graph", Pointer(), errors) ||
            !readMembers(*m[4], kGraphKeys, 2, graphAt, errors, g) ||
            !readNodes(g[0], graphAt, {kExtraKeys[0], kExtraKeys[1], kExtraKeys[2]}, hook, errors,
                       &built))
            return false;
        orderPasses(&desc, &built);
        return readParameters(m[2], m[3], errors, &desc, &built) &&
               readEdges(g[1], graphAt, errors, &built) &&
               (!m[5] || m[5]->IsNull() ||
                resolveNode(built, *m[5], Pointer() / "target", errors, &target));
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
