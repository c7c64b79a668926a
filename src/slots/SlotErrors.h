#pragma once
// Failures of the slot engine's own operations; the message is the text the slot shows and logs.

#include <stdexcept>

class ESlotError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};
