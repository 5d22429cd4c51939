// The dialog template reader over the templates the resource compiler built into this program
// (res/strings.rc): every field read back, and every shortened template refused.
#include <windows.h>

#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "res/strings.h"
#include "user/dialog_template.h"

namespace {

using platform::user::ReadDialogTemplate;

std::span<const BYTE> Template(LPCWSTR name) {
  HRSRC info = FindResourceW(nullptr, name, RT_DIALOG);
  if (info == nullptr) return {};
  return {static_cast<const BYTE*>(LockResource(LoadResource(nullptr, info))), SizeofResource(nullptr, info)};
}

TEST(DialogTemplateTest, ClassicTemplateReadsBack) {
  const auto bytes = Template(MAKEINTRESOURCEW(IDD_WAIT));
  ASSERT_FALSE(bytes.empty());
  const auto t = ReadDialogTemplate(bytes);
  ASSERT_TRUE(t.has_value());
  EXPECT_FALSE(t->extended);
  EXPECT_EQ(t->style, DWORD(0x90C00AC2));
  EXPECT_EQ(t->cx, 252);
  EXPECT_EQ(t->cy, 117);
  EXPECT_FALSE(t->menu.ordinal.has_value());
  EXPECT_TRUE(t->menu.name.empty());
  EXPECT_TRUE(t->caption.empty());
  EXPECT_TRUE(t->hasFont);
  EXPECT_EQ(t->pointSize, 8);
  EXPECT_EQ(t->typeface, u"MS Sans Serif");
  ASSERT_EQ(t->items.size(), 3u);
  EXPECT_EQ(t->items[0].id, DWORD(IDC_PROGRESS));
  EXPECT_EQ(t->items[0].windowClass.name, u"msctls_progress32");
  EXPECT_EQ(t->items[0].text.name, u"Progress1");
  EXPECT_EQ(t->items[0].style, DWORD(0x50800004));
  EXPECT_EQ(t->items[1].windowClass.ordinal, WORD(0x80));
  EXPECT_EQ(t->items[1].text.name, u"Cancel");
  EXPECT_EQ(t->items[2].id, DWORD(IDC_MESSAGE));
  EXPECT_EQ(t->items[2].windowClass.ordinal, WORD(0x82));
  EXPECT_EQ(t->items[2].x, 33);
  EXPECT_EQ(t->items[2].cy, 86);
}

TEST(DialogTemplateTest, ExtendedTemplateReadsBack) {
  const auto t = ReadDialogTemplate(Template(u"NAMED"));
  ASSERT_TRUE(t.has_value());
  EXPECT_TRUE(t->extended);
  EXPECT_EQ(t->helpId, 77u);
  EXPECT_EQ(t->exStyle, 0x8u);
  EXPECT_EQ(t->caption, u"Hi");
  EXPECT_EQ(t->weight, 700);
  EXPECT_EQ(t->italic, 1);
  EXPECT_EQ(t->typeface, u"Tahoma");
  ASSERT_EQ(t->items.size(), 2u);
  EXPECT_EQ(t->items[0].windowClass.ordinal, WORD(0x81));
  EXPECT_TRUE(t->items[0].text.name.empty());
  EXPECT_EQ(t->items[1].helpId, 99u);
  EXPECT_EQ(t->items[1].text.name, u"OK");
}

TEST(DialogTemplateTest, EveryShortenedTemplateIsRefused) {
  for (LPCWSTR name : {static_cast<LPCWSTR>(MAKEINTRESOURCEW(IDD_WAIT)), static_cast<LPCWSTR>(u"NAMED")}) {
    const auto bytes = Template(name);
    ASSERT_FALSE(bytes.empty());
    // The last item's creation-data count is the last field: any shorter span misses something.
    for (size_t size = 0; size < bytes.size(); ++size) {
      EXPECT_FALSE(ReadDialogTemplate(bytes.first(size)).has_value()) << size;
    }
  }
}

TEST(DialogTemplateTest, CountsAndSizesBeyondTheBytesAreRefused) {
  // A classic template claiming 65535 items, with none there.
  const std::vector<BYTE> manyItems = {
      0x00, 0x00, 0x00, 0x80,  // style WS_POPUP
      0x00, 0x00, 0x00, 0x00,  // extended style
      0xFF, 0xFF,              // 65535 items
      0, 0, 0, 0, 0, 0, 0, 0,  // x, y, cx, cy
      0, 0, 0, 0, 0, 0,        // no menu, no class, no caption
  };
  EXPECT_FALSE(ReadDialogTemplate(manyItems).has_value());

  // An extended item whose creation data is longer than what follows.
  const std::vector<BYTE> longData = {
      0x01, 0x00, 0xFF, 0xFF,  // DLGTEMPLATEEX version 1
      0, 0, 0, 0,              // help id
      0, 0, 0, 0,              // extended style
      0x00, 0x00, 0x00, 0x80,  // style WS_POPUP, no font
      0x01, 0x00,              // 1 item
      0, 0, 0, 0, 0, 0, 0, 0,  // x, y, cx, cy
      0, 0, 0, 0, 0, 0,        // no menu, no class, no caption; the item follows on a DWORD boundary
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // help id, extended style, style
      0, 0, 0, 0, 0, 0, 0, 0,              // x, y, cx, cy
      1, 0, 0, 0,                          // id
      0xFF, 0xFF, 0x80, 0x00,              // BUTTON
      0, 0,                                // no text
      0x10, 0x00,                          // 16 bytes of creation data ...
      1, 2,                                // ... of which 2 are there
  };
  EXPECT_FALSE(ReadDialogTemplate(longData).has_value());
  std::vector<BYTE> fitting(longData.begin(), longData.end() - 4);
  fitting.insert(fitting.end(), {0x02, 0x00, 1, 2});
  const auto t = ReadDialogTemplate(fitting);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->items.at(0).creationData, (std::vector<BYTE>{1, 2}));
}

}  // namespace
