#pragma once

/// @file
/// The whole public interface of OrvCore: a host includes this header and nothing else.

#include <Orv/FrameTimer.h>
#include <Orv/Graph.h>
#include <Orv/HistogramFrameTimes.h>
#include <Orv/Json.h>
#include <Orv/Memory.h>
#include <Orv/Paths.h>
#include <Orv/RenderPass.h>
#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>
#include <Orv/Report.h>
#include <Orv/SyncPlan.h>
#include <Orv/Validator.h>
#include <Orv/Version.h>
#include <Orv/Walkers.h>
