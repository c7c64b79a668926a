#pragma once
// "/metrics": the slots' state and counters in the Prometheus text format, for monitoring systems that scrape
// the logger. Read-only, built from the slot objects without taking any slot lock.

#include "web/LoginThrottle.h"

#include <string>

class IWebController;

// iLogins: the web server's own counters since it started.
std::string MetricsText(const IWebController& iController, const TLoginCounts& iLogins);
