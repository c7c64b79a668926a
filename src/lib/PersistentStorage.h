#pragma once
// The storage tree's node classes. Create nodes as shared references (std::make_shared<TPersistentObject>())
// or through the creating operations of arrays and objects; the As... conversions need a shared node.

#include "lib/PersistentStorageInterface.h"

#include <type_traits>
#include <utility>

// Throw EStorageError with the system's texts.
[[noreturn]] void ThrowStorageConversionError(TPersistentType iFrom, TPersistentType iTo);
[[noreturn]] void ThrowStorageNotShared();
std::string NodeToJSon(const IPersistentStorage& iNode, bool iIndent, bool iEscape);
void SaveNodeJSon(const IPersistentStorage& iNode, const std::string& iFilename);
// Checks an item before a container takes it: present, and not the container or one of its ancestors.
void CheckStorageItem(const IPersistentStorage* iContainer, const IPersistentStorageRef& iItem);

// The common base of the node classes: conversions, JSON text and saving for a node of interface TInterface.
template <class TInterface, TPersistentType Kind>
class TPersistentStorage : public TInterface, public std::enable_shared_from_this<TPersistentStorage<TInterface, Kind>>
{
public:
  TPersistentType GetType() const override { return Kind; }
  IPersistentNullRef AsNull() override { return As<IPersistentNull, ptNull>(); }
  IPersistentNumberRef AsNumber() override { return As<IPersistentNumber, ptNumber>(); }
  IPersistentStringRef AsString() override { return As<IPersistentString, ptString>(); }
  IPersistentBooleanRef AsBoolean() override { return As<IPersistentBoolean, ptBoolean>(); }
  IPersistentArrayRef AsArray() override { return As<IPersistentArray, ptArray>(); }
  IPersistentObjectRef AsObject() override { return As<IPersistentObject, ptObject>(); }
  std::string AsJSon(bool iIndent, bool iEscape) const override { return NodeToJSon(*this, iIndent, iEscape); }
  void Save(const std::string& iFilename) const override { SaveNodeJSon(*this, iFilename); }
  bool Reaches(const IPersistentStorage* iNode) const override { return iNode == this; }

protected:
  std::shared_ptr<TPersistentStorage> Self()
  {
    auto self = this->weak_from_this().lock();
    if (!self)
      ThrowStorageNotShared();
    return self;
  }

private:
  template <class TTarget, TPersistentType TargetKind> std::shared_ptr<TTarget> As()
  {
    if constexpr (std::is_base_of_v<TTarget, TInterface>)
      return Self();
    else
      ThrowStorageConversionError(Kind, TargetKind);
  }
};

class TPersistentNull final : public TPersistentStorage<IPersistentNull, ptNull>
{
public:
  void WriteJSon(TJSonWriter& ioWriter) const override;
};

class TPersistentNumber final : public TPersistentStorage<IPersistentNumber, ptNumber>
{
public:
  explicit TPersistentNumber(double iValue = 0) : fValue(iValue) {}
  double GetValue() const override { return fValue; }
  void SetValue(double iValue) override { fValue = iValue; }
  int64_t GetIntValue() const override;
  void WriteJSon(TJSonWriter& ioWriter) const override;

private:
  double fValue;
};

class TPersistentString final : public TPersistentStorage<IPersistentString, ptString>
{
public:
  explicit TPersistentString(std::string iValue = {}) : fValue(std::move(iValue)) {}
  std::string GetValue() const override { return fValue; }
  void SetValue(const std::string& iValue) override { fValue = iValue; }
  void WriteJSon(TJSonWriter& ioWriter) const override;

private:
  std::string fValue;
};

class TPersistentBoolean final : public TPersistentStorage<IPersistentBoolean, ptBoolean>
{
public:
  explicit TPersistentBoolean(bool iValue = false) : fValue(iValue) {}
  bool GetValue() const override { return fValue; }
  void SetValue(bool iValue) override { fValue = iValue; }
  void WriteJSon(TJSonWriter& ioWriter) const override;

private:
  bool fValue;
};

class TPersistentArray final : public TPersistentStorage<IPersistentArray, ptArray>
{
public:
  int GetCount() const override { return static_cast<int>(fItems.size()); }
  IPersistentStorageRef GetItem(int iIndex) const override;
  void Add(const IPersistentStorageRef& iItem) override;
  IPersistentNumberRef AddNumber(double iValue) override;
  IPersistentStringRef AddString(const std::string& iValue) override;
  IPersistentBooleanRef AddBoolean(bool iValue) override;
  IPersistentObjectRef AddObject() override;
  void Delete(int iIndex) override;
  void Clear() override { fItems.clear(); }
  IPersistentArrayEnumeratorRef GetEnumerator() override;
  void WriteJSon(TJSonWriter& ioWriter) const override;
  bool Reaches(const IPersistentStorage* iNode) const override;

private:
  void CheckIndex(int iIndex) const;

  std::vector<IPersistentStorageRef> fItems;
};

class TPersistentArrayEnumerator final : public IPersistentArrayEnumerator
{
public:
  explicit TPersistentArrayEnumerator(IPersistentArrayRef iList) : fList(std::move(iList)) {}
  bool MoveNext() override;
  IPersistentStorageRef GetCurrent() const override { return fList->GetItem(fIndex); }

private:
  IPersistentArrayRef fList;
  int fIndex = -1;
};

class TPersistentObject final : public TPersistentStorage<IPersistentObject, ptObject>
{
public:
  int GetCount() const override { return static_cast<int>(fItems.size()); }
  void GetNames(std::vector<std::string>& oNames) const override;
  IPersistentStorageRef GetValue(const std::string& iName) const override;
  IPersistentArrayRef GetValues() const override;
  bool TryGetValue(const std::string& iName, IPersistentStorageRef& oValue) const override;
  IPersistentStorageRef FindValue(const std::string& iName) const override;
  double FindNumber(const std::string& iName, double iDefault) const override;
  int64_t FindInteger(const std::string& iName, int64_t iDefault) const override;
  std::string FindString(const std::string& iName, const std::string& iDefault) const override;
  bool FindBoolean(const std::string& iName, bool iDefault) const override;
  bool FindArray(const std::string& iName, IPersistentArrayRef& oResult) const override;
  bool FindObject(const std::string& iName, IPersistentObjectRef& oResult) const override;
  void Add(const std::string& iName, const IPersistentStorageRef& iItem) override;
  void SetValue(const std::string& iName, const IPersistentStorageRef& iItem) override;
  IPersistentObjectRef SetNull(const std::string& iName) override;
  IPersistentObjectRef SetNumber(const std::string& iName, double iValue) override;
  IPersistentObjectRef SetString(const std::string& iName, const std::string& iValue) override;
  IPersistentObjectRef SetBoolean(const std::string& iName, bool iValue) override;
  IPersistentObjectRef SetArray(const std::string& iName, const IPersistentArrayRef& iValue) override;
  IPersistentObjectRef SetObject(const std::string& iName, const IPersistentObjectRef& iValue) override;
  IPersistentArrayRef CreateArray(const std::string& iName) override;
  IPersistentObjectRef CreateObject(const std::string& iName) override;
  IPersistentObjectRef FindOrCreateObject(const std::string& iName) override;
  IPersistentArrayRef FindOrCreateArray(const std::string& iName) override;
  void DeleteValue(const std::string& iName) override;
  IPersistentObjectRef Merge(const IPersistentObjectRef& iValue) override;
  void WriteJSon(TJSonWriter& ioWriter) const override;
  bool Reaches(const IPersistentStorage* iNode) const override;

private:
  // Members are kept in the order they are written: hash descending, then UTF-16 code units ascending (then
  // the bytes, which keeps names apart that read as the same code units).
  struct TMember
  {
    std::string Name;
    uint32_t Hash;
    IPersistentStorageRef Value;
  };
  using TMembers = std::vector<TMember>;

  TMembers::const_iterator LowerBound(const std::string& iName, uint32_t iHash) const;
  const TMember* Find(const std::string& iName) const;
  // Inserts or replaces; with iMustBeNew an existing name is an error and nothing changes.
  void Put(const std::string& iName, const IPersistentStorageRef& iItem, bool iMustBeNew);
  IPersistentObjectRef SelfObject() { return Self(); }

  TMembers fItems;
};
