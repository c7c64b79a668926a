// The storage tree's operations and their failures.
#include "lib/Errors.h"
#include "lib/PersistentStorage.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace
{
std::string ErrorOf(const std::function<void()>& iAction)
{
  try
  {
    iAction();
  }
  catch (const EStorageError& e)
  {
    return e.what();
  }
  return "no error";
}

TEST(PersistentStorage, ConversionsReturnTheSameNodeOrFail)
{
  const IPersistentStorageRef nodes[] = {std::make_shared<TPersistentNull>(),   std::make_shared<TPersistentNumber>(),
                                         std::make_shared<TPersistentString>(), std::make_shared<TPersistentBoolean>(),
                                         std::make_shared<TPersistentArray>(),  std::make_shared<TPersistentObject>()};
  const std::function<IPersistentStorageRef(IPersistentStorage&)> conversions[] = {
      [](IPersistentStorage& n) { return IPersistentStorageRef(n.AsNull()); },
      [](IPersistentStorage& n) { return IPersistentStorageRef(n.AsNumber()); },
      [](IPersistentStorage& n) { return IPersistentStorageRef(n.AsString()); },
      [](IPersistentStorage& n) { return IPersistentStorageRef(n.AsBoolean()); },
      [](IPersistentStorage& n) { return IPersistentStorageRef(n.AsArray()); },
      [](IPersistentStorage& n) { return IPersistentStorageRef(n.AsObject()); }};
  const TPersistentType kinds[] = {ptNull, ptNumber, ptString, ptBoolean, ptArray, ptObject};
  for (size_t n = 0; n < std::size(nodes); ++n)
  {
    EXPECT_EQ(nodes[n]->GetType(), kinds[n]);
    for (size_t c = 0; c < std::size(conversions); ++c)
      if (n == c)
        EXPECT_EQ(conversions[c](*nodes[n]).get(), nodes[n].get());
      else
        EXPECT_THROW(conversions[c](*nodes[n]), EStorageError);
  }
  EXPECT_EQ(ErrorOf([&] { nodes[2]->AsNumber(); }), "Invalid conversion from string to number");
  TPersistentNumber unshared(1); // not made as a shared node
  EXPECT_THROW(unshared.AsNumber(), EStorageError);
}

TEST(PersistentStorage, SettersReplaceAndChain)
{
  auto object = std::make_shared<TPersistentObject>();
  EXPECT_EQ(object->SetString("s", "one")->SetString("s", "two").get(), object.get());
  EXPECT_EQ(object->GetCount(), 1);
  EXPECT_EQ(object->FindString("s", ""), "two");
  EXPECT_EQ(object->AsJSon(false, true), R"({"s":"two"})");
  object->DeleteValue("s");
  object->DeleteValue("absent");
  EXPECT_EQ(object->GetCount(), 0);
}

TEST(PersistentStorage, FindersGiveDefaultsForOtherKinds)
{
  auto object = std::make_shared<TPersistentObject>();
  object->SetString("text", "x")->SetNumber("half", 2.5)->SetNumber("odd", 3.5)->SetNumber("minus", -2.5);
  object->SetBoolean("yes", true)->CreateArray("list");
  EXPECT_EQ(object->FindNumber("text", 7), 7);
  EXPECT_EQ(object->FindNumber("half", 7), 2.5);
  EXPECT_EQ(object->FindNumber("absent", 7), 7);
  EXPECT_EQ(object->FindInteger("half", 9), 2); // ties go to the even integer
  EXPECT_EQ(object->FindInteger("odd", 9), 4);
  EXPECT_EQ(object->FindInteger("minus", 9), -2);
  EXPECT_EQ(object->FindInteger("yes", 9), 9);
  EXPECT_EQ(object->FindString("half", "d"), "2.5");
  EXPECT_EQ(object->FindString("yes", "d"), "d");
  EXPECT_TRUE(object->FindBoolean("yes", false));
  EXPECT_TRUE(object->FindBoolean("text", true));
  IPersistentArrayRef list;
  IPersistentObjectRef child;
  EXPECT_TRUE(object->FindArray("list", list));
  EXPECT_FALSE(object->FindObject("list", child));
  EXPECT_FALSE(object->FindArray("text", list));
  IPersistentStorageRef value;
  EXPECT_TRUE(object->TryGetValue("text", value));
  EXPECT_EQ(value->AsString()->GetValue(), "x");
  EXPECT_FALSE(object->TryGetValue("absent", value));
  EXPECT_EQ(object->FindValue("absent"), nullptr);
  EXPECT_EQ(ErrorOf([&] { object->GetValue("absent"); }), "No such item: absent");
}

TEST(PersistentStorage, IntValueFailsOutsideTheIntegerRange)
{
  EXPECT_EQ(TPersistentNumber(-9e18).GetIntValue(), -9000000000000000000);
  EXPECT_THROW(TPersistentNumber(1e19).GetIntValue(), EStorageError);
  EXPECT_THROW(TPersistentNumber(std::nan("")).GetIntValue(), EStorageError);
}

TEST(PersistentStorage, AddingAnExistingNameFailsAndChangesNothing)
{
  auto object = std::make_shared<TPersistentObject>();
  object->SetNumber("n", 1);
  EXPECT_EQ(ErrorOf([&] { object->Add("n", std::make_shared<TPersistentNull>()); }), "Duplicate item: n");
  EXPECT_THROW(object->CreateArray("n"), EStorageError);
  EXPECT_THROW(object->CreateObject("n"), EStorageError);
  EXPECT_THROW(object->FindOrCreateObject("n"), EStorageError);
  EXPECT_EQ(object->AsJSon(false, true), R"({"n":1})");

  auto other = std::make_shared<TPersistentObject>();
  other->SetNumber("m", 2)->SetNumber("n", 3);
  EXPECT_THROW(object->Merge(other), EStorageError);
  EXPECT_EQ(object->AsJSon(false, true), R"({"n":1})"); // "m" was not added either
  other->DeleteValue("n");
  object->Merge(other);
  EXPECT_EQ(object->GetCount(), 2);
  EXPECT_EQ(object->FindOrCreateObject("o").get(), object->FindOrCreateObject("o").get());
}

TEST(PersistentStorage, ContainersRefuseToHoldThemselves)
{
  auto outer = std::make_shared<TPersistentObject>();
  auto inner = outer->CreateArray("inner");
  auto leaf = inner->AddObject();
  EXPECT_THROW(outer->SetObject("self", outer), EStorageError);
  EXPECT_THROW(leaf->SetObject("up", outer), EStorageError);
  EXPECT_THROW(inner->Add(inner), EStorageError);
  EXPECT_THROW(inner->Add(nullptr), EStorageError);
  EXPECT_THROW(leaf->Merge(outer), EStorageError);
  // Sharing one node between parents is allowed: it is written in both places.
  auto shared = std::make_shared<TPersistentString>("s");
  inner->Add(shared);
  leaf->SetValue("x", shared);
  EXPECT_EQ(outer->AsJSon(false, true), R"({"inner":[{"x":"s"},"s"]})");
}

TEST(PersistentStorage, ArrayIndexesAndEnumerator)
{
  auto array = std::make_shared<TPersistentArray>();
  array->AddNumber(1);
  array->AddString("two");
  array->AddBoolean(true);
  EXPECT_EQ(ErrorOf([&] { array->GetItem(3); }), "List index out of bounds (3)");
  EXPECT_THROW(array->GetItem(-1), EStorageError);
  EXPECT_THROW(array->Delete(3), EStorageError);
  array->Delete(1);
  std::string seen;
  auto enumerator = array->GetEnumerator();
  while (enumerator->MoveNext())
    seen += enumerator->GetCurrent()->AsJSon(false, true);
  EXPECT_EQ(seen, "1true");
  EXPECT_FALSE(enumerator->MoveNext());
  EXPECT_THROW(enumerator->GetCurrent(), EStorageError);

  auto object = std::make_shared<TPersistentObject>();
  object->SetNumber("a", 1)->SetNumber("b", 2);
  EXPECT_EQ(object->GetValues()->AsJSon(false, true), "[2,1]");
  array->Clear();
  EXPECT_EQ(array->GetCount(), 0);
}

TEST(PersistentStorage, SaveWritesTheIndentedEscapedText)
{
  const auto folder = std::filesystem::temp_directory_path() / ("storage_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  auto object = std::make_shared<TPersistentObject>();
  object->SetString("t", "\xe2\x82\xac");
  const auto path = (folder / "out.json").string();
  object->Save(path);
  std::ifstream stream(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "{\r\n \"t\": \"\\u20ac\"\r\n}");
  EXPECT_THROW(object->Save((folder / "missing" / "out.json").string()), EStorageError);
  std::filesystem::remove_all(folder);
}
} // namespace
