#pragma once

/// @file
/// The render pass interface that a Renderer runs, and the host's context object.

#include <Orv/OrvCoreExport.h>

#include <QString>
#include <QVariant>

namespace Vantrel {
namespace Orv {

/// The host's context object, handed unchanged from Renderer::setup, render and teardown to the
/// passes. The library never dereferences it; hosts derive from it to carry what passes need.
class ORVCORE_EXPORT RenderCallbacks {
public:
    RenderCallbacks() = default;
    RenderCallbacks(const RenderCallbacks&) = default;  ///< Copies what a subclass holds.
    /// Copies what a subclass holds.
    RenderCallbacks& operator=(const RenderCallbacks&) = default;
    virtual ~RenderCallbacks();
};

/// One unit of rendering work as a Renderer sees it. Inputs and outputs carry QVariant values
/// and are numbered from 0; their counts and names are read once, when the pass is added to a
/// renderer, and must not change afterwards. An error code of 0 means success.
class ORVCORE_EXPORT RenderPass {
public:
    RenderPass() = default;
    RenderPass(const RenderPass&) = default;             ///< Copies what a subclass holds.
    RenderPass& operator=(const RenderPass&) = default;  ///< Copies what a subclass holds.
    virtual ~RenderPass();

    virtual void setup(RenderCallbacks* callbacks) = 0;       ///< Once per Renderer::setup.
    virtual void beginFrame(RenderCallbacks* callbacks) = 0;  ///< Inputs are set; start follows.
    virtual void start(RenderCallbacks* callbacks) = 0;     ///< May return before the work is done.
    virtual void endFrame(RenderCallbacks* callbacks) = 0;  ///< After isFinished, before errorCode.
    /// Polled after start, 100 microseconds apart (or after the renderer's wait function),
    /// until true. The base returns true.
    virtual bool isFinished() const;
    virtual void teardown(RenderCallbacks* callbacks) = 0;  ///< Once per Renderer::teardown.
    /// For the host; never called.
    virtual void teardownContextData(RenderCallbacks* callbacks) = 0;

    virtual int numInputs() const = 0;                            ///< Number of inputs.
    virtual int numOutputs() const = 0;                           ///< Number of outputs.
    virtual QString inputName(int index) const = 0;               ///< Name of input index.
    virtual QString outputName(int index) const = 0;              ///< Name of output index.
    virtual void setInput(int index, const QVariant& value) = 0;  ///< This frame's value.
    /// The value an input takes when neither a parameter nor an enabled pass feeds it.
    virtual QVariant defaultValue(int index) const = 0;
    virtual void setDefaultValue(int index, const QVariant& value) = 0;  ///< Replaces it.
    virtual QVariant output(int index) const = 0;  ///< As the latest run left it.
    /// Needed consumers of output `index` in this frame; only set when above 0.
    virtual void setNumOutputUsers(int index, int users) = 0;
    virtual void resetNumOutputUsers() = 0;            ///< Every output's user count to 0.
    virtual unsigned int errorCode() const = 0;        ///< 0 when the frame's work succeeded.
    virtual void setErrorCode(unsigned int code) = 0;  ///< The renderer sets 0 before each start.
};

}  // namespace Orv
}  // namespace Vantrel
