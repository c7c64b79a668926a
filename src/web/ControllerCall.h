#pragma once
// A request thread's way to read or change settings: the work runs on the controller's thread, which owns them,
// while the request waits for it.

#include <chrono>
#include <functional>

class IWebController;

// Runs iWork on the controller's thread and waits until it is done; an exception it throws is thrown here. False
// when the controller has not taken the work up within iTimeout (busy, or stopping the server): the work is then
// dropped and never runs, so a request that gave up changes nothing later.
bool RunOnControllerThread(IWebController& iController, const std::function<void()>& iWork,
                           std::chrono::milliseconds iTimeout);
