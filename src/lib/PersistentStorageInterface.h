#pragma once
// Interfaces of the storage tree: typed nodes (null, number, text, Boolean, array, object) that every JSON
// answer is built from. Nodes are shared references; a node lives while any parent or caller holds it, and
// one node may sit in several parents. Wrong use (missing member, wrong kind, index out of range) throws
// EStorageError (Errors.h).
//
// Texts are UTF-8. For escaping and member order they are read as UTF-16 code units; a byte that does not
// belong to a valid UTF-8 sequence counts as the Latin-1 character of the same value, so any byte string is
// written without loss of information.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum TPersistentType
{
  ptNull = 0,
  ptNumber = 1,
  ptString = 2,
  ptBoolean = 3,
  ptDateTime = 4, // no node reports it
  ptArray = 5,
  ptObject = 6
};

class IPersistentStorage;
class IPersistentNull;
class IPersistentNumber;
class IPersistentString;
class IPersistentBoolean;
class IPersistentArray;
class IPersistentObject;
class IPersistentArrayEnumerator;
class TJSonWriter;

using IPersistentStorageRef = std::shared_ptr<IPersistentStorage>;
using IPersistentNullRef = std::shared_ptr<IPersistentNull>;
using IPersistentNumberRef = std::shared_ptr<IPersistentNumber>;
using IPersistentStringRef = std::shared_ptr<IPersistentString>;
using IPersistentBooleanRef = std::shared_ptr<IPersistentBoolean>;
using IPersistentArrayRef = std::shared_ptr<IPersistentArray>;
using IPersistentObjectRef = std::shared_ptr<IPersistentObject>;
using IPersistentArrayEnumeratorRef = std::shared_ptr<IPersistentArrayEnumerator>;

class IPersistentStorage
{
public:
  virtual ~IPersistentStorage() = default;
  virtual TPersistentType GetType() const = 0;
  // The same node through the named interface; EStorageError when it is of another kind.
  virtual IPersistentNullRef AsNull() = 0;
  virtual IPersistentNumberRef AsNumber() = 0;
  virtual IPersistentStringRef AsString() = 0;
  virtual IPersistentBooleanRef AsBoolean() = 0;
  virtual IPersistentArrayRef AsArray() = 0;
  virtual IPersistentObjectRef AsObject() = 0;
  // iIndent: CR LF line breaks and one space per level; iEscape: pure ASCII output with \uxxxx escapes.
  virtual std::string AsJSon(bool iIndent, bool iEscape) const = 0;
  // Writes AsJSon(true, true) to the file; EStorageError when the file cannot be written.
  virtual void Save(const std::string& iFilename) const = 0;
  // Appends this node's JSON text to a writer (what AsJSon and the containers use).
  virtual void WriteJSon(TJSonWriter& ioWriter) const = 0;
  // True when iNode is this node or lies below it; keeps containers from holding themselves.
  virtual bool Reaches(const IPersistentStorage* iNode) const = 0;
};

class IPersistentNull : public IPersistentStorage
{
};

class IPersistentNumber : public IPersistentStorage
{
public:
  virtual double GetValue() const = 0;
  virtual void SetValue(double iValue) = 0;
  // Rounded to the nearest integer, ties to the even one; EStorageError when not finite or out of range.
  virtual int64_t GetIntValue() const = 0;
};

class IPersistentString : public IPersistentStorage
{
public:
  virtual std::string GetValue() const = 0;
  virtual void SetValue(const std::string& iValue) = 0;
};

class IPersistentBoolean : public IPersistentStorage
{
public:
  virtual bool GetValue() const = 0;
  virtual void SetValue(bool iValue) = 0;
};

class IPersistentArrayEnumerator
{
public:
  virtual ~IPersistentArrayEnumerator() = default;
  // Advances; false once past the last element (starts before the first).
  virtual bool MoveNext() = 0;
  virtual IPersistentStorageRef GetCurrent() const = 0;
};

class IPersistentArray : public IPersistentStorage
{
public:
  virtual int GetCount() const = 0;
  // Indexes count from 0; outside 0 .. count - 1: EStorageError.
  virtual IPersistentStorageRef GetItem(int iIndex) const = 0;
  virtual void Add(const IPersistentStorageRef& iItem) = 0;
  virtual IPersistentNumberRef AddNumber(double iValue) = 0;
  virtual IPersistentStringRef AddString(const std::string& iValue) = 0;
  virtual IPersistentBooleanRef AddBoolean(bool iValue) = 0;
  virtual IPersistentObjectRef AddObject() = 0;
  virtual void Delete(int iIndex) = 0;
  virtual void Clear() = 0;
  virtual IPersistentArrayEnumeratorRef GetEnumerator() = 0;
};

class IPersistentObject : public IPersistentStorage
{
public:
  virtual int GetCount() const = 0;
  // The member names in the order they are written.
  virtual void GetNames(std::vector<std::string>& oNames) const = 0;
  // EStorageError "No such item: %s" when absent.
  virtual IPersistentStorageRef GetValue(const std::string& iName) const = 0;
  virtual IPersistentArrayRef GetValues() const = 0;
  virtual bool TryGetValue(const std::string& iName, IPersistentStorageRef& oValue) const = 0;
  // nullptr when absent.
  virtual IPersistentStorageRef FindValue(const std::string& iName) const = 0;
  // The member's value when it is of the kind, else iDefault (FindString also turns a number into text).
  virtual double FindNumber(const std::string& iName, double iDefault) const = 0;
  virtual int64_t FindInteger(const std::string& iName, int64_t iDefault) const = 0;
  virtual std::string FindString(const std::string& iName, const std::string& iDefault) const = 0;
  virtual bool FindBoolean(const std::string& iName, bool iDefault) const = 0;
  virtual bool FindArray(const std::string& iName, IPersistentArrayRef& oResult) const = 0;
  virtual bool FindObject(const std::string& iName, IPersistentObjectRef& oResult) const = 0;
  // EStorageError when the name exists already.
  virtual void Add(const std::string& iName, const IPersistentStorageRef& iItem) = 0;
  // Adds or replaces.
  virtual void SetValue(const std::string& iName, const IPersistentStorageRef& iItem) = 0;
  // Set a member and return this object, so that calls chain.
  virtual IPersistentObjectRef SetNull(const std::string& iName) = 0;
  virtual IPersistentObjectRef SetNumber(const std::string& iName, double iValue) = 0;
  virtual IPersistentObjectRef SetString(const std::string& iName, const std::string& iValue) = 0;
  virtual IPersistentObjectRef SetBoolean(const std::string& iName, bool iValue) = 0;
  virtual IPersistentObjectRef SetArray(const std::string& iName, const IPersistentArrayRef& iValue) = 0;
  virtual IPersistentObjectRef SetObject(const std::string& iName, const IPersistentObjectRef& iValue) = 0;
  // Create an empty member as with Add.
  virtual IPersistentArrayRef CreateArray(const std::string& iName) = 0;
  virtual IPersistentObjectRef CreateObject(const std::string& iName) = 0;
  // The existing member of that kind, else a new one as with Create...; EStorageError when the name holds
  // another kind.
  virtual IPersistentObjectRef FindOrCreateObject(const std::string& iName) = 0;
  virtual IPersistentArrayRef FindOrCreateArray(const std::string& iName) = 0;
  virtual void DeleteValue(const std::string& iName) = 0;
  // Adds every member of iValue as with Add; when one name exists already nothing is added.
  virtual IPersistentObjectRef Merge(const IPersistentObjectRef& iValue) = 0;
};
