// Automation access (through VBScript.RegExp and Scripting.Dictionary), the
// Regular-expression object and reply-body decoding.
#include <gtest/gtest.h>

#include <utility>

#include "http/automation.h"
#include "http/regex_object.h"
#include "http/reply_decoding.h"
#include "http_test_support.h"

namespace quillet {
namespace {

using http_test::Bytes;

constexpr char kRegExpClassId[] = "{3F4DACA4-160D-11D2-A8E9-00104B365C9F}";

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { dll::CoInitialize(nullptr); }
  void TearDown() override { dll::CoUninitialize(); }
};

using AutomationTest = ComTest;

TEST_F(AutomationTest, EmptyObjectAnswersEmptyValuesAndMinusOne) {
  ObjectRef none;
  EXPECT_TRUE(ObjectIsEmpty(none));
  EXPECT_TRUE(ReadPropertyText(none, "Pattern").empty());
  EXPECT_EQ(AutomationLastError(), kAutomationNoObject);
  EXPECT_EQ(ReadPropertyDouble(none, "Count"), 0.0);
  EXPECT_TRUE(ReadPropertyObject(none, "Item").empty());
  EXPECT_FALSE(WriteProperty(none, "Pattern", AutoArg::FromText("a")));
  EXPECT_EQ(AutomationLastError(), kAutomationNoObject);
}

TEST_F(AutomationTest, CreatesByProgIdAndByBracedClassId) {
  ObjectRef byName, byId;
  EXPECT_TRUE(CreateObject(byName, "VBScript.RegExp"));
  EXPECT_TRUE(CreateObject(byId, kRegExpClassId));
  EXPECT_FALSE(byName.empty());
  EXPECT_FALSE(byId.empty());
  ObjectRef unknown;
  EXPECT_FALSE(CreateObject(unknown, "Quillet.NoSuchObject"));
  EXPECT_FALSE(CreateObject(unknown, "{00000000-1111-2222-3333-444444444444}"));
  EXPECT_TRUE(unknown.empty());
}

TEST_F(AutomationTest, PropertyWriteAndReadBoundThroughTypeInformation) {
  ObjectRef regex;
  ASSERT_TRUE(CreateObject(regex, "VBScript.RegExp"));
  EXPECT_TRUE(WriteProperty(regex, "Pattern", AutoArg::FromText("a\xC4\xE3+")));
  EXPECT_EQ(AutomationLastError(), kAutomationOk);
  EXPECT_EQ(Bytes(ReadPropertyText(regex, "Pattern")), "a\xC4\xE3+");
  EXPECT_TRUE(WriteProperty(regex, "Global", AutoArg::FromBool(true)));
  EXPECT_EQ(Bytes(ReadPropertyText(regex, "Global")), "-1");
  EXPECT_EQ(ReadPropertyDouble(regex, "Global"), -1.0);
  // A trailing omitted argument is dropped.
  EXPECT_EQ(Bytes(ReadPropertyText(regex, "Pattern", {AutoArg::Omitted()})), "a\xC4\xE3+");
}

TEST_F(AutomationTest, FailureCodesInTheLastErrorCell) {
  ObjectRef regex;
  ASSERT_TRUE(CreateObject(regex, "VBScript.RegExp"));
  WriteProperty(regex, "Pattern", AutoArg::FromText("x"));

  EXPECT_FALSE(WriteProperty(regex, "Singleline", AutoArg::FromBool(true)));
  EXPECT_EQ(AutomationLastError(), kAutomationUnknownName);
  EXPECT_EQ(Bytes(ReadPropertyText(regex, "Pattern")), "x");  // nothing else changed

  EXPECT_TRUE(CallMethodText(regex, "Test", {AutoArg::FromText("a"), AutoArg::FromText("b")}).empty());
  EXPECT_EQ(AutomationLastError(), kAutomationTooManyArguments);

  ByteSet bytes("abc", 3);
  CallMethod(regex, "Test", {AutoArg::FromByteSet(bytes.get())});
  EXPECT_EQ(AutomationLastError(), kAutomationBadArgument);

  EXPECT_TRUE(ReadPropertyObject(regex, "Pattern").empty());
  EXPECT_EQ(AutomationLastError(), kAutomationBadResult);

  // The engine's own failure: its HRESULT.
  WriteProperty(regex, "Pattern", AutoArg::FromText("("));
  EXPECT_TRUE(CallMethodObject(regex, "Execute", {AutoArg::FromText("abc")}).empty());
  EXPECT_LT(AutomationLastError(), kAutomationBadResult);

  EXPECT_EQ(Bytes(CallMethodText(regex, "Test", {AutoArg::FromText("x")})), "");
  WriteProperty(regex, "Pattern", AutoArg::FromText("x"));
  EXPECT_EQ(Bytes(CallMethodText(regex, "Test", {AutoArg::FromText("xyz")})), "-1");
  EXPECT_EQ(AutomationLastError(), kAutomationOk);
}

TEST_F(AutomationTest, VariablesPassedByReferenceWhereTheMemberSaysSo) {
  ObjectRef dictionary;
  ASSERT_TRUE(CreateObject(dictionary, "Scripting.Dictionary"));
  Text key(CopyText("k\xC4\xE3"));
  Variant item;
  SetVariant(item, AutoArg::FromInt(42));
  CallMethod(dictionary, "Add", {AutoArg::TextVariable(&key), AutoArg::VariantVariable(&item)});
  EXPECT_EQ(AutomationLastError(), kAutomationOk);
  EXPECT_EQ(Bytes(key), "k\xC4\xE3");
  EXPECT_EQ(ReadPropertyDouble(dictionary, "Count"), 1.0);
  EXPECT_EQ(ReadPropertyDouble(dictionary, "Item", {AutoArg::FromText("k\xC4\xE3")}), 42.0);
  int32_t number = 7;
  CallMethod(dictionary, "Add", {AutoArg::IntVariable(&number), AutoArg::FromText("seven")});
  EXPECT_EQ(AutomationLastError(), kAutomationOk);
  EXPECT_EQ(Bytes(ReadPropertyText(dictionary, "Item", {AutoArg::FromInt(7)})), "seven");
}

TEST_F(AutomationTest, VariantOperations) {
  Variant fresh;
  EXPECT_EQ(fresh.type(), VT_I4);
  EXPECT_EQ(fresh.get()->lVal, 0);

  Variant bytes;
  const ByteSet three("\x01\x02\x03", 3);
  ASSERT_TRUE(SetVariant(bytes, AutoArg::FromByteSet(three.get())));
  EXPECT_EQ(bytes.type(), VT_ARRAY | VT_UI1);
  EXPECT_EQ(bytes.get()->parray->rgsabound[0].cElements, 3u);

  Variant text;
  ASSERT_TRUE(SetVariant(text, AutoArg::FromText("")));
  EXPECT_EQ(text.type(), VT_BSTR);
  EXPECT_EQ(dll::SysStringLen(text.get()->bstrVal), 0u);

  SetVariant(text, AutoArg::FromText("\xC4\xE3"));
  Variant copy;
  CopyVariant(copy, text);
  EXPECT_EQ(Bytes(VariantAsText(copy)), "\xC4\xE3");
  SetVariant(copy, AutoArg::FromDouble(2.5));
  EXPECT_EQ(copy.type(), VT_R8);
  ClearVariant(copy);
  EXPECT_EQ(copy.type(), VT_EMPTY);
  EXPECT_TRUE(VariantAsText(copy).empty());
}

TEST_F(AutomationTest, CopiedReferenceSharesTheObject) {
  ObjectRef regex;
  ASSERT_TRUE(CreateObject(regex, "VBScript.RegExp"));
  ObjectRef other;
  CopyObject(other, regex);
  EXPECT_EQ(other.get(), regex.get());
  WriteProperty(regex, "Pattern", AutoArg::FromText("shared"));
  ReleaseObject(regex);
  EXPECT_TRUE(regex.empty());
  EXPECT_EQ(Bytes(ReadPropertyText(other, "Pattern")), "shared");
}

// ---- COM owners ------------------------------------------------------------------

// An object that counts the references given back to it.
class CountingUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    ++releases;
    return --references;
  }
  ULONG references = 1;
  int releases = 0;
};

TEST(ComOwners, AComPointerGivesItsReferenceBackExactlyOnce) {
  CountingUnknown moved;
  {
    ComPtr<IUnknown> first(&moved);
    ComPtr<IUnknown> second(std::move(first));
    ComPtr<IUnknown> third;
    third = std::move(second);
    EXPECT_TRUE(first.empty());
    EXPECT_TRUE(second.empty());
    EXPECT_EQ(third.get(), &moved);
  }
  EXPECT_EQ(moved.releases, 1);

  CountingUnknown handed_on;
  {
    ComPtr<IUnknown> owner(&handed_on);
    EXPECT_EQ(owner.Detach(), &handed_on);
  }
  EXPECT_EQ(handed_on.releases, 0);

  // An out-parameter slot gives back what the pointer held before it is filled.
  CountingUnknown replaced, filled;
  {
    ComPtr<IUnknown> owner(&replaced);
    void** slot = owner.PutVoid();
    EXPECT_EQ(replaced.releases, 1);
    EXPECT_EQ(*slot, nullptr);
    filled.QueryInterface(IID_IUnknown, slot);
  }
  EXPECT_EQ(replaced.releases, 1);
  EXPECT_EQ(filled.releases, 1);
  EXPECT_EQ(filled.references, 1u);
}

TEST(ComOwners, AVariantHandedOnIsClearedOnceByItsLastOwner) {
  CountingUnknown object;
  {
    ScopedVariant first;
    (*first).vt = VT_UNKNOWN;
    (*first).punkVal = &object;
    ScopedVariant second;
    second.TakeFrom(first);
    second.TakeFrom(second);
    EXPECT_EQ(first.get()->vt, VT_EMPTY);
    Variant kept;
    kept.TakeFrom(second);
    EXPECT_EQ(second.get()->vt, VT_EMPTY);
    EXPECT_EQ(kept.type(), VT_UNKNOWN);
    EXPECT_EQ(object.releases, 0);
  }
  EXPECT_EQ(object.releases, 1);

  // A Variant set again gives back what it held.
  CountingUnknown held;
  Variant variant;
  {
    ObjectRef reference(&held);  // the reference the object was made with
    ASSERT_TRUE(SetVariant(variant, AutoArg::FromObject(&reference)));
  }
  EXPECT_EQ(held.references, 1u);
  ASSERT_TRUE(SetVariant(variant, AutoArg::FromInt(1)));
  EXPECT_EQ(held.references, 0u);
  EXPECT_EQ(held.releases, 2);
}

// ---- Regular-expression object ----------------------------------------------------

TEST(RegexObject, CharsetPatternFindsTheName) {
  RegexObject regex;
  ASSERT_TRUE(regex.Execute(kMetaCharsetPattern, "<html><META content=\"text/html; charset=utf-8\">"));
  EXPECT_EQ(Bytes(regex.SubMatchText(1, 1)), "utf-8");
  EXPECT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchCount(), 1);
  EXPECT_EQ(Bytes(regex.GetPattern()), kMetaCharsetPattern);
}

TEST(RegexObject, NoMatchStillAnswersTrue) {
  RegexObject regex;
  EXPECT_TRUE(regex.Execute("z+", "abc"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_TRUE(regex.SubMatchText(1, 1).empty());
  EXPECT_TRUE(regex.MatchText(1).empty());
}

TEST(RegexObject, InvalidPatternAnswersFalse) {
  RegexObject regex;
  EXPECT_FALSE(regex.Execute("(", "abc"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_TRUE(regex.MatchText(1).empty());
}

TEST(RegexObject, BeforeExecuteEverythingIsEmpty) {
  RegexObject regex;
  EXPECT_TRUE(regex.GetPattern().empty());
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.SubMatchCount(), 0);
  EXPECT_TRUE(regex.MatchText(1).empty());
  EXPECT_TRUE(regex.ReplaceMatches("x").empty());
}

TEST(RegexObject, QuoteMarker) {
  RegexObject regex;
  ASSERT_TRUE(regex.Execute("#引号(.+?)#引号", "say \"hello\" and \"bye\"", false, true, true, true));
  EXPECT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(Bytes(regex.SubMatchText(2, 1)), "bye");
  EXPECT_EQ(Bytes(regex.GetPattern()), "\"(.+?)\"");
  ASSERT_TRUE(regex.Execute("#引号(.+?)#引号", "say \"hello\"", false, true, true, false));
  EXPECT_EQ(regex.MatchCount(), 0);
}

TEST(RegexObject, OptionsCaseMultiLineGlobal) {
  RegexObject regex;
  ASSERT_TRUE(regex.Execute("a", "A a A", true));
  EXPECT_EQ(regex.MatchCount(), 1);
  ASSERT_TRUE(regex.Execute("a", "A a A", false));
  EXPECT_EQ(regex.MatchCount(), 3);
  ASSERT_TRUE(regex.Execute("a", "A a A", false, true, false));
  EXPECT_EQ(regex.MatchCount(), 1);
  ASSERT_TRUE(regex.Execute("^b", "a\nb", false, true));
  EXPECT_EQ(regex.MatchCount(), 1);
  ASSERT_TRUE(regex.Execute("^b", "a\nb", false, false));
  EXPECT_EQ(regex.MatchCount(), 0);
  ASSERT_TRUE(regex.Execute("a.b", "a\nb"));
  EXPECT_EQ(regex.MatchCount(), 0);  // a dot does not match a line break
}

TEST(RegexObject, MatchAndGroupTextsWithPositions) {
  RegexObject regex;
  ASSERT_TRUE(regex.Execute("(\\d+)-(\\d+)", "ab 12-34 x 5-6", true));
  int32_t position = 0;
  EXPECT_EQ(Bytes(regex.MatchText(1, &position)), "12-34");
  EXPECT_EQ(position, 3);
  EXPECT_EQ(Bytes(regex.SubMatchText(1, 2, &position)), "34");
  EXPECT_EQ(position, 6);
  EXPECT_EQ(Bytes(regex.MatchText(2, &position)), "5-6");
  EXPECT_EQ(position, 11);
  EXPECT_TRUE(regex.MatchText(3, &position).empty());
  EXPECT_TRUE(regex.SubMatchText(1, 3).empty());
  EXPECT_EQ(regex.SubMatchCount(), 2);
}

// FirstIndex counts UTF-16 units; a double-byte GBK character before a match
// is two bytes of the subject but one unit.
TEST(RegexObject, PositionsAreByteOffsetsAfterDoubleByteCharacters) {
  RegexObject regex;
  int32_t position = 0;
  ASSERT_TRUE(regex.Execute("1x", "你你1x"));
  EXPECT_EQ(Bytes(regex.MatchText(1, &position)), "1x");
  EXPECT_EQ(position, 4);
  ASSERT_TRUE(regex.Execute("b", "你好bb"));
  regex.MatchText(1, &position);
  EXPECT_EQ(position, 4);
  regex.MatchText(2, &position);
  EXPECT_EQ(position, 5);
  // Repeated text: each match answers its own place, not an earlier copy.
  ASSERT_TRUE(regex.Execute("a", "aaa"));
  for (int32_t index = 1; index <= 3; ++index) {
    regex.MatchText(index, &position);
    EXPECT_EQ(position, index - 1) << "match " << index;
  }
  // Groups: the search for a group's text starts at its own match.
  ASSERT_TRUE(regex.Execute("=(\\d)", "你好你好 x=1 y=1"));
  EXPECT_EQ(Bytes(regex.SubMatchText(1, 1, &position)), "1");
  EXPECT_EQ(position, 11);
  EXPECT_EQ(Bytes(regex.SubMatchText(2, 1, &position)), "1");
  EXPECT_EQ(position, 15);
  ASSERT_TRUE(regex.Execute("=(.)", "你 a=文"));
  EXPECT_EQ(Bytes(regex.SubMatchText(1, 1, &position)), "文");
  EXPECT_EQ(position, 5);
  // An empty match sits where the engine found it (the first one only: the
  // platform's engine loops on empty matches in global mode).
  ASSERT_TRUE(regex.Execute("(?=好)", "你好", false, true, false));
  EXPECT_TRUE(regex.MatchText(1, &position).empty());
  EXPECT_EQ(position, 2);
}

TEST(RegexObject, ReplaceMatches) {
  RegexObject regex;
  ASSERT_TRUE(regex.Execute("(\\d)", "a1b2"));
  EXPECT_EQ(Bytes(regex.ReplaceMatches("<$1>")), "a<1>b<2>");
  ASSERT_TRUE(regex.Execute("b", "\xC4\xE3" "b"));
  EXPECT_EQ(Bytes(regex.ReplaceMatches("\xBA\xC3")), "\xC4\xE3\xBA\xC3");
}

TEST(RegexObject, CopySharesMatches) {
  RegexObject regex;
  ASSERT_TRUE(regex.Execute("o", "foo"));
  std::unique_ptr<RegexObject> copy(regex.Copy());
  EXPECT_EQ(copy->MatchCount(), 2);
  EXPECT_EQ(Bytes(copy->GetPattern()), "o");
}

TEST(RegexObject, LeavesTheMultithreadedApartmentOfItsThread) {
  EXPECT_TRUE(http_test::MultithreadedApartmentSurvives([] {
    RegexObject regex;
    EXPECT_TRUE(regex.Execute("o", "foo"));
    std::unique_ptr<RegexObject> copy(regex.Copy());
    EXPECT_EQ(copy->MatchCount(), 2);
  }));
}

// ---- Reply decoding ----------------------------------------------------------------

std::string Decode(const std::string& body) {
  RegexObject regex;
  ByteSet bytes(body.data(), body.size());
  return Bytes(DecodeReplyBody(bytes.get(), regex));
}

std::string Page(const std::string& tag, const std::string& text, size_t padding = 0) {
  return "<html><head>" + std::string(padding, ' ') + tag + "</head><body>" + text + "</body></html>";
}

TEST(DecodeReplyBody, StopsAtFirstZeroByte) {
  EXPECT_EQ(Decode(std::string("\x41\x42\x00\x43", 4)), "AB");
  EXPECT_EQ(Decode(""), "");
}

TEST(DecodeReplyBody, NoCharsetOrGbkNamesLeaveBytesAsTheyAre) {
  EXPECT_EQ(Decode("{\"a\":\"\xE4\xBD\xA0\"}"), "{\"a\":\"\xE4\xBD\xA0\"}");
  const std::string gb = Page("<META HTTP-EQUIV=Content-Type CONTENT=text/html; charset=gb2312>", "\xC4\xE3");
  EXPECT_EQ(Decode(gb), gb);
  const std::string gbk = Page("<meta charset=\"gbk\">", "\xC4\xE3");
  EXPECT_EQ(Decode(gbk), gbk);
}

TEST(DecodeReplyBody, Utf8MetaConvertsWithOrWithoutQuotes) {
  EXPECT_EQ(Decode(Page("<meta charset=\"utf-8\">", "\xE4\xBD\xA0\xE5\xA5\xBD")),
            Page("<meta charset=\"utf-8\">", "\xC4\xE3\xBA\xC3"));
  EXPECT_EQ(Decode(Page("<meta charset=utf-8>", "\xE4\xBD\xA0")), Page("<meta charset=utf-8>", "\xC4\xE3"));
  // The word in capitals is still seen (the search ignores case).
  EXPECT_EQ(Decode(Page("<META CONTENT=\"text/html; CHARSET=UTF-8\">", "\xE4\xBD\xA0")),
            Page("<META CONTENT=\"text/html; CHARSET=UTF-8\">", "\xC4\xE3"));
}

TEST(DecodeReplyBody, MetaAfterFirst1024BytesIsNotSeen) {
  const std::string late = Page("<meta charset=\"utf-8\">", "\xE4\xBD\xA0", 1100);
  EXPECT_EQ(Decode(late), late);
}

TEST(DecodeReplyBody, OtherCharsetsThroughCodePages) {
  EXPECT_EQ(Decode(Page("<meta charset=\"big5\">", "\xA7\x41\xA6\x6E")), Page("<meta charset=\"big5\">", "\xC4\xE3\xBA\xC3"));
  EXPECT_EQ(Decode(Page("<meta charset=\"GB2312\">", "\xC4\xE3")), Page("<meta charset=\"GB2312\">", "\xC4\xE3"));
  EXPECT_EQ(Decode(Page("<meta charset=\"windows-1251\">", "\xCF")), Page("<meta charset=\"windows-1251\">", "\xA7\xB1"));
}

TEST(DecodeReplyBody, LeavesTheMultithreadedApartmentOfItsThread) {
  EXPECT_TRUE(http_test::MultithreadedApartmentSurvives(
      [] { EXPECT_EQ(Decode(Page("<meta charset=utf-8>", "\xE4\xBD\xA0")), Page("<meta charset=utf-8>", "\xC4\xE3")); }));
}

TEST(DecodeReplyBody, UnknownCharsetKeepsTheText) {
  const std::string page = Page("<meta charset=\"x-no-such-charset\">", "\xE4\xBD\xA0 raw");
  EXPECT_EQ(Decode(page), page);
}

}  // namespace
}  // namespace quillet
