#pragma once
// "/metrics": the slots' state and counters in the Prometheus text format, for monitoring systems that scrape
// the logger. Read-only, built from the slot objects without taking any slot lock.

#include <string>

class IWebController;

std::string MetricsText(const IWebController& iController);
