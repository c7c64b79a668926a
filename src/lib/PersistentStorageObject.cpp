#include "lib/Errors.h"
#include "lib/JSONWriter.h"
#include "lib/PersistentStorage.h"
#include "lib/PersistentStorageUTF16.h"

#include <algorithm>
#include <type_traits>

namespace
{
// Compares two names by their UTF-16 code units, then by their bytes: <0, 0 or >0.
int CompareNames(const std::string& iLeft, const std::string& iRight)
{
  std::u16string left, right;
  ForEachUTF16Unit(iLeft, [&](char16_t iUnit) { left += iUnit; });
  ForEachUTF16Unit(iRight, [&](char16_t iUnit) { right += iUnit; });
  const int units = left.compare(right);
  return units != 0 ? units : iLeft.compare(iRight);
}

template <class TNode>
bool FindKind(const IPersistentStorageRef& iValue, std::shared_ptr<TNode>& oResult, TPersistentType iKind)
{
  if (!iValue || iValue->GetType() != iKind)
    return false;
  if constexpr (std::is_same_v<TNode, IPersistentArray>)
    oResult = iValue->AsArray();
  else
    oResult = iValue->AsObject();
  return true;
}
} // namespace

TPersistentObject::TMembers::const_iterator TPersistentObject::LowerBound(const std::string& iName,
                                                                          uint32_t iHash) const
{
  return std::lower_bound(fItems.begin(), fItems.end(), iName,
                          [iHash](const TMember& iMember, const std::string& iKey)
                          {
                            if (iMember.Hash != iHash)
                              return iMember.Hash > iHash;
                            return CompareNames(iMember.Name, iKey) < 0;
                          });
}

const TPersistentObject::TMember* TPersistentObject::Find(const std::string& iName) const
{
  const auto it = LowerBound(iName, MemberNameHash(iName));
  return it != fItems.end() && it->Name == iName ? &*it : nullptr;
}

void TPersistentObject::Put(const std::string& iName, const IPersistentStorageRef& iItem, bool iMustBeNew)
{
  CheckStorageItem(this, iItem);
  const uint32_t hash = MemberNameHash(iName);
  const auto it = LowerBound(iName, hash);
  if (it != fItems.end() && it->Name == iName)
  {
    if (iMustBeNew)
      throw EStorageError(Format("Duplicate item: %s", iName.c_str()));
    fItems[static_cast<size_t>(it - fItems.begin())].Value = iItem;
  }
  else
    fItems.insert(it, TMember{iName, hash, iItem});
}

void TPersistentObject::GetNames(std::vector<std::string>& oNames) const
{
  oNames.clear();
  for (const auto& member : fItems)
    oNames.push_back(member.Name);
}

IPersistentStorageRef TPersistentObject::GetValue(const std::string& iName) const
{
  const TMember* member = Find(iName);
  if (member == nullptr)
    throw EStorageError(Format("No such item: %s", iName.c_str()));
  return member->Value;
}

IPersistentArrayRef TPersistentObject::GetValues() const
{
  auto values = std::make_shared<TPersistentArray>();
  for (const auto& member : fItems)
    values->Add(member.Value);
  return values;
}

bool TPersistentObject::TryGetValue(const std::string& iName, IPersistentStorageRef& oValue) const
{
  oValue = FindValue(iName);
  return oValue != nullptr;
}

IPersistentStorageRef TPersistentObject::FindValue(const std::string& iName) const
{
  const TMember* member = Find(iName);
  return member != nullptr ? member->Value : nullptr;
}

double TPersistentObject::FindNumber(const std::string& iName, double iDefault) const
{
  const auto value = FindValue(iName);
  return value && value->GetType() == ptNumber ? value->AsNumber()->GetValue() : iDefault;
}

int64_t TPersistentObject::FindInteger(const std::string& iName, int64_t iDefault) const
{
  const auto value = FindValue(iName);
  return value && value->GetType() == ptNumber ? value->AsNumber()->GetIntValue() : iDefault;
}

std::string TPersistentObject::FindString(const std::string& iName, const std::string& iDefault) const
{
  const auto value = FindValue(iName);
  if (value && value->GetType() == ptString)
    return value->AsString()->GetValue();
  if (value && value->GetType() == ptNumber)
    return FormatJSonNumber(value->AsNumber()->GetValue());
  return iDefault;
}

bool TPersistentObject::FindBoolean(const std::string& iName, bool iDefault) const
{
  const auto value = FindValue(iName);
  return value && value->GetType() == ptBoolean ? value->AsBoolean()->GetValue() : iDefault;
}

bool TPersistentObject::FindArray(const std::string& iName, IPersistentArrayRef& oResult) const
{
  return FindKind(FindValue(iName), oResult, ptArray);
}

bool TPersistentObject::FindObject(const std::string& iName, IPersistentObjectRef& oResult) const
{
  return FindKind(FindValue(iName), oResult, ptObject);
}

void TPersistentObject::Add(const std::string& iName, const IPersistentStorageRef& iItem)
{
  Put(iName, iItem, true);
}

void TPersistentObject::SetValue(const std::string& iName, const IPersistentStorageRef& iItem)
{
  Put(iName, iItem, false);
}

IPersistentObjectRef TPersistentObject::SetNull(const std::string& iName)
{
  Put(iName, std::make_shared<TPersistentNull>(), false);
  return SelfObject();
}

IPersistentObjectRef TPersistentObject::SetNumber(const std::string& iName, double iValue)
{
  Put(iName, std::make_shared<TPersistentNumber>(iValue), false);
  return SelfObject();
}

IPersistentObjectRef TPersistentObject::SetString(const std::string& iName, const std::string& iValue)
{
  Put(iName, std::make_shared<TPersistentString>(iValue), false);
  return SelfObject();
}

IPersistentObjectRef TPersistentObject::SetBoolean(const std::string& iName, bool iValue)
{
  Put(iName, std::make_shared<TPersistentBoolean>(iValue), false);
  return SelfObject();
}

IPersistentObjectRef TPersistentObject::SetArray(const std::string& iName, const IPersistentArrayRef& iValue)
{
  Put(iName, iValue, false);
  return SelfObject();
}

IPersistentObjectRef TPersistentObject::SetObject(const std::string& iName, const IPersistentObjectRef& iValue)
{
  Put(iName, iValue, false);
  return SelfObject();
}

IPersistentArrayRef TPersistentObject::CreateArray(const std::string& iName)
{
  auto item = std::make_shared<TPersistentArray>();
  Put(iName, item, true);
  return item;
}

IPersistentObjectRef TPersistentObject::CreateObject(const std::string& iName)
{
  auto item = std::make_shared<TPersistentObject>();
  Put(iName, item, true);
  return item;
}

IPersistentObjectRef TPersistentObject::FindOrCreateObject(const std::string& iName)
{
  IPersistentObjectRef result;
  return FindObject(iName, result) ? result : CreateObject(iName);
}

IPersistentArrayRef TPersistentObject::FindOrCreateArray(const std::string& iName)
{
  IPersistentArrayRef result;
  return FindArray(iName, result) ? result : CreateArray(iName);
}

void TPersistentObject::DeleteValue(const std::string& iName)
{
  const auto it = LowerBound(iName, MemberNameHash(iName));
  if (it != fItems.end() && it->Name == iName)
    fItems.erase(it);
}

IPersistentObjectRef TPersistentObject::Merge(const IPersistentObjectRef& iValue)
{
  if (!iValue)
    throw EStorageError("Invalid item: empty reference");
  // Check every name first, so that a clash leaves the object as it was.
  std::vector<std::string> names;
  iValue->GetNames(names);
  for (const auto& name : names)
  {
    if (Find(name) != nullptr)
      throw EStorageError(Format("Duplicate item: %s", name.c_str()));
    CheckStorageItem(this, iValue->GetValue(name));
  }
  for (const auto& name : names)
    Put(name, iValue->GetValue(name), true);
  return SelfObject();
}

void TPersistentObject::WriteJSon(TJSonWriter& ioWriter) const
{
  ioWriter.BeginObject();
  for (size_t i = 0; i < fItems.size(); ++i)
  {
    ioWriter.WriteMemberName(fItems[i].Name, i == 0);
    fItems[i].Value->WriteJSon(ioWriter);
  }
  ioWriter.EndObject(fItems.empty());
}

bool TPersistentObject::Reaches(const IPersistentStorage* iNode) const
{
  if (iNode == this)
    return true;
  for (const auto& member : fItems)
    if (member.Value->Reaches(iNode))
      return true;
  return false;
}
