// Compares what our raster layer drew with what a real GDI drew for the same sequences (cases.cpp),
// family by family. The two files come from the test fixtures that run both builds of cases.cpp.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Record {
  int32_t width = 0;
  int32_t height = 0;  // 0: a list of `width` 32-bit results; < 0: top-down pixel rows
  int32_t stride = 0;
  std::vector<uint8_t> bytes;
};

using Records = std::map<std::string, Record>;

uint32_t ReadLe32(const std::vector<uint8_t> &data, size_t at) {
  return data[at] | data[at + 1] << 8 | data[at + 2] << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
}

// Reads a case file; any truncation or inconsistency is reported as an error, never read past.
bool ReadRecords(const std::string &path, Records &out, std::string &error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot open " + path + " (run the test through ctest: its fixtures write it)";
    return false;
  }
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::string magic = "GDIREF1\n";
  if (data.size() < magic.size() || !std::equal(magic.begin(), magic.end(), data.begin())) {
    error = path + ": not a case file";
    return false;
  }
  size_t at = magic.size();
  while (at < data.size()) {
    if (data.size() - at < 4) break;
    const uint32_t nameLength = ReadLe32(data, at);
    at += 4;
    if (data.size() - at < size_t{nameLength} + 16) break;
    std::string name(data.begin() + at, data.begin() + at + nameLength);
    at += nameLength;
    Record r;
    r.width = static_cast<int32_t>(ReadLe32(data, at));
    r.height = static_cast<int32_t>(ReadLe32(data, at + 4));
    r.stride = static_cast<int32_t>(ReadLe32(data, at + 8));
    const uint32_t count = ReadLe32(data, at + 12);
    at += 16;
    if (data.size() - at < count) break;
    r.bytes.assign(data.begin() + at, data.begin() + at + count);
    at += count;
    if (!out.emplace(name, std::move(r)).second) {
      error = path + ": case " + name + " appears twice";
      return false;
    }
  }
  if (at != data.size()) {
    error = path + ": truncated after " + std::to_string(out.size()) + " cases";
    return false;
  }
  return true;
}

std::string Bgr(const uint8_t *p) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X%02X%02X", p[2], p[1], p[0]);
  return text;
}

// Describes how `ours` differs from `reference`, or returns "" when they are the same.
std::string Difference(const Record &ours, const Record &reference) {
  std::ostringstream out;
  if (ours.width != reference.width || ours.height != reference.height || ours.stride != reference.stride ||
      ours.bytes.size() != reference.bytes.size()) {
    out << "layout " << ours.width << "x" << ours.height << " stride " << ours.stride << " ("
        << ours.bytes.size() << " bytes), reference " << reference.width << "x" << reference.height
        << " stride " << reference.stride << " (" << reference.bytes.size() << " bytes)";
    return out.str();
  }
  if (ours.bytes == reference.bytes) return "";
  if (ours.height == 0) {
    for (int32_t i = 0; i < ours.width; ++i) {
      const int32_t a = static_cast<int32_t>(ReadLe32(ours.bytes, 4 * i));
      const int32_t b = static_cast<int32_t>(ReadLe32(reference.bytes, 4 * i));
      if (a != b) out << " [" << i << "] " << a << " (reference " << b << ")";
    }
    return "results differ:" + out.str();
  }
  // Pixels, named by (x, y) with y counted from the top of the canvas, ours/reference as RRGGBB.
  const int rows = ours.height < 0 ? -ours.height : ours.height;
  int differing = 0;
  int padding = 0;
  for (int memoryRow = 0; memoryRow < rows; ++memoryRow) {
    const int y = ours.height < 0 ? memoryRow : rows - 1 - memoryRow;
    const uint8_t *a = ours.bytes.data() + static_cast<size_t>(memoryRow) * ours.stride;
    const uint8_t *b = reference.bytes.data() + static_cast<size_t>(memoryRow) * ours.stride;
    for (int x = 0; x < ours.width; ++x) {
      if (a[3 * x] == b[3 * x] && a[3 * x + 1] == b[3 * x + 1] && a[3 * x + 2] == b[3 * x + 2]) continue;
      if (++differing <= 8) out << " (" << x << "," << y << ") " << Bgr(a + 3 * x) << "/" << Bgr(b + 3 * x);
    }
    for (int i = 3 * ours.width; i < ours.stride; ++i) padding += a[i] != b[i];
  }
  std::ostringstream head;
  head << differing << " of " << ours.width * rows << " pixels differ";
  if (differing != 0) head << " (ours/reference):" << out.str();
  if (differing > 8) head << " ...";
  if (padding != 0) head << "; " << padding << " padding bytes differ";
  return head.str();
}

// Both files, read once for all families.
struct Runs {
  Records ours;
  Records reference;
  std::string error;

  Runs() {
    if (ReadRecords(GDI_REFERENCE_OURS, ours, error)) ReadRecords(GDI_REFERENCE_WINE, reference, error);
  }
};

const Runs &Loaded() {
  static const Runs runs;
  return runs;
}

std::string FamilyOf(const std::string &name) { return name.substr(0, name.find('/')); }

class ReferenceFamily : public testing::TestWithParam<const char *> {};

TEST_P(ReferenceFamily, MatchesRealGdi) {
  const Runs &runs = Loaded();
  ASSERT_EQ(runs.error, "");
  const std::string family = GetParam();
  int compared = 0;
  int missing = 0;
  for (const auto &[name, reference] : runs.reference) {
    if (FamilyOf(name) != family) continue;
    ++compared;
    const auto ours = runs.ours.find(name);
    if (ours == runs.ours.end()) {
      ++missing;
      continue;
    }
    const std::string difference = Difference(ours->second, reference);
    EXPECT_EQ(difference, "") << name;
  }
  for (const auto &[name, record] : runs.ours)
    if (FamilyOf(name) == family && runs.reference.count(name) == 0)
      ADD_FAILURE() << name << ": drawn only by our build";
  EXPECT_EQ(missing, 0) << missing << " of the family's " << compared << " cases not drawn by our build";
  EXPECT_GT(compared, 0) << "the reference run drew no case of family " << family;
}

constexpr const char *kFamilies[] = {"canvas",    "rop-blt",        "rop-stretch", "rop-brush", "hatch",
                                     "pattern",   "brush-indirect", "octants",     "pen",       "polyline",
                                     "line-clip", "stretch",        "clip",        "fill",      "objects",
                                     "bad-input", "lowbpp",         "random"};

INSTANTIATE_TEST_SUITE_P(Gdi, ReferenceFamily, testing::ValuesIn(kFamilies),
                         [](const testing::TestParamInfo<const char *> &info) {
                           std::string name = info.param;
                           for (char &c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

// A family added to the drawing program but not to the list above would go uncompared.
TEST(ReferenceFamilies, EveryCaseBelongsToACheckedFamily) {
  const Runs &runs = Loaded();
  ASSERT_EQ(runs.error, "");
  const std::set<std::string> known(std::begin(kFamilies), std::end(kFamilies));
  for (const Records *records : {&runs.ours, &runs.reference})
    for (const auto &[name, record] : *records) EXPECT_EQ(known.count(FamilyOf(name)), 1u) << name;
}

}  // namespace
