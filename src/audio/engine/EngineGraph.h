#pragma once
// Structural changes shared by the engine's calls. All run under TEngineState::Graph.

#include "audio/engine/HandleTable.h"

#include <memory>
#include <vector>

class TChannel;

// Objects taken out of the graph, destroyed by the caller after it released the structural lock (an
// encoder's destruction waits for its program).
using TGarbage = std::vector<std::unique_ptr<TEngineObject>>;

// Frees channel iHandle: takes it out of its mixer, detaches its sources (if it is a mixer), removes its chain
// elements. False when iHandle is no channel.
bool FreeChannel(uint32_t iHandle, TGarbage& oGarbage);

// Whether iChannel is iOf's mixer, or that mixer's mixer, and so on.
bool IsAncestor(const TChannel& iChannel, const TChannel& iOf);
