#include <gtest/gtest.h>

#include "rtl/Interfaces.h"

namespace vela {
namespace {

struct IFoo : virtual IInterface {
  VELA_IID("{11111111-2222-3333-4444-555555555555}");
  virtual int Foo() = 0;
};
struct IBar : virtual IInterface {
  VELA_IID("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
  virtual int Bar() = 0;
};
struct IBaz : virtual IInterface {
  VELA_IID("{0A05D856-DE2C-4CC4-B9DF-71D172539F2E}");
};

int gDestroyed = 0;

class TFooBar : public TInterfacedObject, public IFoo, public IBar {
  VELA_INTERFACES(TInterfacedObject, IFoo, IBar)
  ~TFooBar() override { ++gDestroyed; }
  int Foo() override { return 1; }
  int Bar() override { return 2; }
};

TEST(Guid, ParsesAndPrintsRegistryFormUpperCase) {
  TGUID g = StringToGUID("{0a05d856-de2c-4cc4-b9df-71d172539f2e}");
  EXPECT_EQ(GUIDToString(g), "{0A05D856-DE2C-4CC4-B9DF-71D172539F2E}");
  EXPECT_EQ(g, IBaz::IID());
  EXPECT_EQ(g.D1, 0x0A05D856u);
  EXPECT_EQ(g.D4[7], 0x2E);
}

TEST(Guid, RejectsMalformedText) {
  for (const char* bad :
       {"", "0A05D856-DE2C-4CC4-B9DF-71D172539F2E", "{0A05D856-DE2C-4CC4-B9DF-71D172539F2}",
        "{0A05D856-DE2C-4CC4-B9DF_71D172539F2E}", "{0A05D856-DE2C-4CC4-B9DF-71D172539F2G}",
        " {0A05D856-DE2C-4CC4-B9DF-71D172539F2E}"}) {
    TGUID g;
    EXPECT_FALSE(TryStringToGUID(bad, g)) << bad;
    EXPECT_THROW(StringToGUID(bad), EConvertError) << bad;
  }
}

TEST(Guid, CreateGUIDIsVersion4AndUnique) {
  TGUID a = CreateGUID(), b = CreateGUID();
  EXPECT_NE(a, b);
  EXPECT_EQ(a.D3 >> 12, 4);
  EXPECT_EQ(a.D4[0] & 0xC0, 0x80);
  EXPECT_EQ(StringToGUID(GUIDToString(a)), a);
}

TEST(Interfaces, QueryInterfaceCountsAndFrees) {
  gDestroyed = 0;
  {
    IPtr<IFoo> foo(new TFooBar);
    EXPECT_EQ(foo->Foo(), 1);
    IPtr<IBar> bar = Supports<IBar>(foo);
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->Bar(), 2);
    EXPECT_FALSE(Supports<IBaz>(foo));
    EXPECT_TRUE(Supports(static_cast<IInterface*>(foo.get()), IBar::IID()));
    EXPECT_FALSE(Supports(static_cast<IInterface*>(foo.get()), IBaz::IID()));
    EXPECT_EQ(dynamic_cast<TFooBar*>(foo.get())->RefCount(), 2);
    EXPECT_THROW(QueryIntf<IBaz>(foo.get()), EIntfCastError);
  }
  EXPECT_EQ(gDestroyed, 1);
}

TEST(Interfaces, OwnedObjectCountsWithoutFreeing) {
  gDestroyed = 0;
  auto* obj = new TFooBar;
  obj->SetFreeOnRelease(false);
  {
    IPtr<IFoo> a(obj);
    IPtr<IFoo> b = a;
    EXPECT_EQ(obj->RefCount(), 2);
  }
  EXPECT_EQ(obj->RefCount(), 0);
  EXPECT_EQ(gDestroyed, 0);
  delete obj;
  EXPECT_EQ(gDestroyed, 1);
}

TEST(Exceptions, TextIsClassNameColonMessage) {
  EXPECT_EQ(ExceptionText(EConvertError("bad")), "EConvertError: bad");
  EXPECT_EQ(ExceptionText(std::runtime_error("x")), "Exception: x");
  EXPECT_EQ(ExceptionText(EVelaXMLImportError("for user", true)), "EVelaXMLImportError: for user");
  EXPECT_THROW(Abort(), EAbort);
  EXPECT_THROW(Assert(false, "m"), EAssertionFailed);
}

}  // namespace
}  // namespace vela
