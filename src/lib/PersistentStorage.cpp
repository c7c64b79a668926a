#include "lib/PersistentStorage.h"

#include "lib/Errors.h"
#include "lib/JSONWriter.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
const char* TypeName(TPersistentType iType)
{
  switch (iType)
  {
  case ptNull:
    return "null";
  case ptNumber:
    return "number";
  case ptString:
    return "string";
  case ptBoolean:
    return "boolean";
  case ptDateTime:
    return "date-time";
  case ptArray:
    return "array";
  case ptObject:
    return "object";
  }
  return "unknown";
}
} // namespace

void ThrowStorageConversionError(TPersistentType iFrom, TPersistentType iTo)
{
  throw EStorageError(Format("Invalid conversion from %s to %s", TypeName(iFrom), TypeName(iTo)));
}

void ThrowStorageNotShared()
{
  throw EStorageError("Storage node is not held by a shared reference");
}

void CheckStorageItem(const IPersistentStorage* iContainer, const IPersistentStorageRef& iItem)
{
  if (!iItem)
    throw EStorageError("Invalid item: empty reference");
  if (iItem->Reaches(iContainer))
    throw EStorageError("Invalid item: a node cannot contain itself");
}

std::string NodeToJSon(const IPersistentStorage& iNode, bool iIndent, bool iEscape)
{
  TJSonWriter writer(iIndent, iEscape);
  iNode.WriteJSon(writer);
  return writer.TakeText();
}

void SaveNodeJSon(const IPersistentStorage& iNode, const std::string& iFilename)
{
  const std::string text = NodeToJSon(iNode, true, true);
  std::FILE* file = std::fopen(iFilename.c_str(), "wb");
  if (file == nullptr)
    throw EStorageError(Format("Cannot write file %s: %s", iFilename.c_str(), std::strerror(errno)));
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int writeError = errno;
  if (std::fclose(file) != 0 || !written)
    throw EStorageError(
        Format("Cannot write file %s: %s", iFilename.c_str(), std::strerror(written ? errno : writeError)));
}

void TPersistentNull::WriteJSon(TJSonWriter& ioWriter) const
{
  ioWriter.WriteNull();
}

int64_t TPersistentNumber::GetIntValue() const
{
  const double rounded = std::nearbyint(fValue); // the default rounding mode sends ties to the even integer
  if (!(rounded >= -0x1p63 && rounded < 0x1p63))
    throw EStorageError(Format("Number out of integer range: %s", FormatJSonNumber(fValue).c_str()));
  return static_cast<int64_t>(rounded);
}

void TPersistentNumber::WriteJSon(TJSonWriter& ioWriter) const
{
  ioWriter.WriteNumber(fValue);
}

void TPersistentString::WriteJSon(TJSonWriter& ioWriter) const
{
  ioWriter.WriteString(fValue);
}

void TPersistentBoolean::WriteJSon(TJSonWriter& ioWriter) const
{
  ioWriter.WriteBoolean(fValue);
}

void TPersistentArray::CheckIndex(int iIndex) const
{
  if (iIndex < 0 || iIndex >= GetCount())
    throw EStorageError(Format("List index out of bounds (%d)", iIndex));
}

IPersistentStorageRef TPersistentArray::GetItem(int iIndex) const
{
  CheckIndex(iIndex);
  return fItems[static_cast<size_t>(iIndex)];
}

void TPersistentArray::Add(const IPersistentStorageRef& iItem)
{
  CheckStorageItem(this, iItem);
  fItems.push_back(iItem);
}

IPersistentNumberRef TPersistentArray::AddNumber(double iValue)
{
  auto item = std::make_shared<TPersistentNumber>(iValue);
  fItems.push_back(item);
  return item;
}

IPersistentStringRef TPersistentArray::AddString(const std::string& iValue)
{
  auto item = std::make_shared<TPersistentString>(iValue);
  fItems.push_back(item);
  return item;
}

IPersistentBooleanRef TPersistentArray::AddBoolean(bool iValue)
{
  auto item = std::make_shared<TPersistentBoolean>(iValue);
  fItems.push_back(item);
  return item;
}

IPersistentObjectRef TPersistentArray::AddObject()
{
  auto item = std::make_shared<TPersistentObject>();
  fItems.push_back(item);
  return item;
}

void TPersistentArray::Delete(int iIndex)
{
  CheckIndex(iIndex);
  fItems.erase(fItems.begin() + iIndex);
}

IPersistentArrayEnumeratorRef TPersistentArray::GetEnumerator()
{
  return std::make_shared<TPersistentArrayEnumerator>(Self());
}

void TPersistentArray::WriteJSon(TJSonWriter& ioWriter) const
{
  ioWriter.BeginArray(fItems.empty());
  for (size_t i = 0; i < fItems.size(); ++i)
  {
    if (i > 0)
      ioWriter.WriteElementSeparator();
    fItems[i]->WriteJSon(ioWriter);
  }
  ioWriter.EndArray();
}

bool TPersistentArray::Reaches(const IPersistentStorage* iNode) const
{
  if (iNode == this)
    return true;
  for (const auto& item : fItems)
    if (item->Reaches(iNode))
      return true;
  return false;
}

bool TPersistentArrayEnumerator::MoveNext()
{
  if (fIndex < fList->GetCount())
    ++fIndex;
  return fIndex < fList->GetCount();
}
