// Builds a storage tree from arbitrary bytes (texts become member names and values) and writes it in every
// mode. The escaped text must be pure ASCII and the unindented texts must hold no line break.
//
// Input program, one operation per byte (value modulo 8): 0 number (8 bytes follow), 1 text, 2 true,
// 3 false, 4 null, 5 open object, 6 open array, 7 close. A text is a length byte and that many bytes.
// Inside an object every value is preceded by its member name (a text).
#include "lib/PersistentStorage.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
class TReader
{
public:
  TReader(const uint8_t* iData, size_t iSize) : fData(iData), fSize(iSize) {}
  bool AtEnd() const { return fPos >= fSize; }
  uint8_t Byte() { return AtEnd() ? 0 : fData[fPos++]; }
  std::string Text()
  {
    const size_t length = std::min<size_t>(Byte(), fSize - fPos);
    std::string text(reinterpret_cast<const char*>(fData + fPos), length);
    fPos += length;
    return text;
  }
  double Number()
  {
    uint8_t bytes[8] = {};
    for (auto& byte : bytes)
      byte = Byte();
    double value;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
  }

private:
  const uint8_t* fData;
  size_t fSize;
  size_t fPos = 0;
};

void Check(bool iCondition)
{
  if (!iCondition)
    std::abort();
}

// Puts a node into the current container: appended to an array, or set under a name read first.
void Put(const IPersistentStorageRef& iContainer, TReader& ioReader, const IPersistentStorageRef& iNode)
{
  if (iContainer->GetType() == ptArray)
  {
    iContainer->AsArray()->Add(iNode);
    return;
  }
  const std::string name = ioReader.Text();
  auto object = iContainer->AsObject();
  object->SetValue(name, iNode);
  Check(object->GetValue(name).get() == iNode.get());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  constexpr size_t cMaxDepth = 64;
  TReader reader(iData, iSize);
  std::vector<IPersistentStorageRef> stack{std::make_shared<TPersistentObject>()};
  while (!reader.AtEnd())
  {
    const auto& container = stack.back();
    switch (reader.Byte() % 8)
    {
    case 0:
      Put(container, reader, std::make_shared<TPersistentNumber>(reader.Number()));
      break;
    case 1:
      Put(container, reader, std::make_shared<TPersistentString>(reader.Text()));
      break;
    case 2:
    case 3:
      Put(container, reader, std::make_shared<TPersistentBoolean>(iData[0] % 2 == 0));
      break;
    case 4:
      Put(container, reader, std::make_shared<TPersistentNull>());
      break;
    case 5:
    case 6:
    {
      if (stack.size() >= cMaxDepth)
        break;
      IPersistentStorageRef child = iData[0] % 2 == 0 ? IPersistentStorageRef(std::make_shared<TPersistentObject>())
                                                      : IPersistentStorageRef(std::make_shared<TPersistentArray>());
      Put(container, reader, child);
      stack.push_back(child);
      break;
    }
    default:
      if (stack.size() > 1)
        stack.pop_back();
    }
  }

  const auto& root = stack.front();
  for (const bool indent : {false, true})
    for (const bool escape : {false, true})
    {
      const std::string text = root->AsJSon(indent, escape);
      Check(!text.empty() && text.front() == '{' && text.back() == '}');
      if (escape)
        for (const char c : text)
          Check(static_cast<unsigned char>(c) < 0x80);
      if (escape && !indent)
        Check(text.find_first_of("\r\n") == std::string::npos);
      Check(root->AsJSon(indent, escape) == text);
    }
  return 0;
}
