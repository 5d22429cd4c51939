// The job-stream readers and the display list they fill, driven through the write dispatch with the
// stream cut into pieces the way the spooler may cut it.
#include <gtest/gtest.h>

#include "JobStreamBuilder.h"
#include "entry/JobContext.h"
#include "stream/DisplayList.h"
#include "stream/JobStream.h"

#include <algorithm>
#include <random>
#include <span>

namespace dovamon::test {
namespace {

struct RecordView {
  uint16_t kind;
  Bytes data;
  bool operator==(const RecordView&) const = default;
};

struct BandView {
  uint16_t top, end, width, height;
  uint32_t payloadSize, payloadLeft;
  uint32_t isPageHead;
  int32_t dirtyTop, dirtyBottom;
  std::vector<RecordView> records;
  bool operator==(const BandView&) const = default;
};

struct ListView {
  uint32_t headerSeen;
  uint16_t bandCounter;
  uint32_t countPending;
  std::vector<BandView> bands;
  bool operator==(const ListView&) const = default;
};

// A job context with its display list, fed through the write dispatch.
class Feeder {
 public:
  Feeder() { context_.bandList = CreateBandList(); }
  ~Feeder() { DestroyBandList(context_.bandList); }
  Feeder(const Feeder&) = delete;
  Feeder& operator=(const Feeder&) = delete;

  // Feeds the bytes in pieces of the given sizes (the rest as one last piece) and checks that every
  // piece is taken whole.
  void Feed(std::span<const uint8_t> bytes, std::initializer_list<size_t> pieces = {}) {
    size_t at = 0;
    for (size_t piece : pieces) {
      FeedPiece(bytes.subspan(at, piece));
      at += piece;
    }
    if (at < bytes.size()) FeedPiece(bytes.subspan(at));
  }
  void FeedPiece(std::span<const uint8_t> piece) {
    ASSERT_TRUE(DispatchWrite(context_, piece.data(), static_cast<DWORD>(piece.size())));
    ASSERT_EQ(context_.inputLeft, 0u);
  }

  ListView View() const {
    const PageBandList& list = *context_.bandList;
    ListView view{context_.headerSeen, list.bandCounter, list.countPending, {}};
    for (const Band* band = list.head; band; band = band->next) {
      BandView b{band->bandTop, band->bandEnd, band->width, band->height, band->payloadSize,
                 band->payloadLeft, band->isPageHead, band->dirtyTop, band->dirtyBottom, {}};
      for (const BandRecord* r = band->records; r; r = r->next)
        b.records.push_back({r->kind, Bytes(r->data, r->data + r->length)});
      view.bands.push_back(std::move(b));
    }
    return view;
  }
  const Band& Tail() const { return *context_.bandList->tail; }

  JobContext context_;
};

class StreamReaders : public ::testing::Test, public Feeder {};

const Bytes kImageData = {1, 2, 3, 4, 5, 6, 7, 8};
const Bytes kUnknownData = {0xEE, 0xFF};

TEST_F(StreamReaders, HeaderInThreePiecesHandsItsTailToThePageInTheSameCall) {
  // Header, band count 1, then the first 4 bytes of a band header: 130 bytes.
  const Bytes stream = JobStreamBuilder().Header(1248, 1500, 3).BandCount(1).BandHeader(0, 100, 1248, 0).bytes();
  const std::span<const uint8_t> all(stream.data(), 130);

  FeedPiece(all.subspan(0, 50));
  FeedPiece(all.subspan(50, 50));
  EXPECT_EQ(context_.headerSeen, 0u);
  EXPECT_EQ(context_.headerFill, 100u);

  FeedPiece(all.subspan(100, 30));
  EXPECT_EQ(context_.headerSeen, 1u);
  EXPECT_EQ(context_.header.extentA, 1248);
  EXPECT_EQ(context_.header.extentB, 1500);
  EXPECT_EQ(context_.header.pageCopies, 3);
  EXPECT_EQ(context_.bandList->bandCounter, 1);
  EXPECT_EQ(Tail().headerFill, 4);
}

TEST_F(StreamReaders, BandCountLowByteWaitsForTheNextPiece) {
  const Bytes stream = JobStreamBuilder().Header().BandCount(0x0102).bytes();
  Feed(std::span(stream).first(125));
  EXPECT_EQ(context_.bandList->countPending, 1u);
  EXPECT_EQ(context_.bandList->bandCounter, 0);

  Feed(std::span(stream).subspan(125));
  EXPECT_EQ(context_.bandList->countPending, 0u);
  EXPECT_EQ(context_.bandList->bandCounter, 0x0102);
}

TEST_F(StreamReaders, BandHeaderAssembledFromThreePieces) {
  const Bytes stream = JobStreamBuilder().Header().BandCount(1).BandHeader(40, 72, 1248, 0x00030201).bytes();
  Feed(std::span(stream).first(135), {126, 5});
  EXPECT_EQ(Tail().headerFill, 9);
  EXPECT_EQ(Tail().payloadLeft, 0u);
  Feed(std::span(stream).subspan(135));

  const Band& band = Tail();
  EXPECT_EQ(band.bandTop, 40);
  EXPECT_EQ(band.bandEnd, 72);
  EXPECT_EQ(band.width, 1248);
  EXPECT_EQ(band.height, 32);
  EXPECT_EQ(band.payloadSize, 0x00030201u);
  EXPECT_EQ(band.payloadLeft, 0x00030201u);
  // The written-row range starts empty and inverted.
  EXPECT_EQ(band.dirtyTop, 72);
  EXPECT_EQ(band.dirtyBottom, 40);
}

TEST_F(StreamReaders, PayloadOneBytePerPieceCompletesAtItsLastByte) {
  const Bytes payload = Payload({{80, kImageData}, {999, kUnknownData}});
  JobStreamBuilder builder;
  builder.Header().BandCount(2).Band(0, 64, 1248, payload);
  const size_t payloadStart = builder.size() - payload.size();
  Feed(std::span(builder.bytes()).first(payloadStart));

  for (size_t i = payloadStart; i + 1 < builder.size(); ++i) {
    FeedPiece(std::span(builder.bytes()).subspan(i, 1));
    ASSERT_EQ(context_.bandList->bandCounter, 2) << "after payload byte " << i - payloadStart;
    ASSERT_EQ(context_.bandList->head->records, nullptr);
  }
  FeedPiece(std::span(builder.bytes()).last(1));
  EXPECT_EQ(context_.bandList->bandCounter, 1);
  // Both records are kept in stream order, the unknown kind as well.
  const std::vector<RecordView> expected = {{80, kImageData}, {999, kUnknownData}};
  EXPECT_EQ(View().bands.front().records, expected);
  EXPECT_EQ(context_.bandList->head->payload, nullptr);
}

TEST_F(StreamReaders, CountOfZeroIsNoPage) {
  const Bytes stream = JobStreamBuilder()
                           .Header()
                           .BandCount(0)
                           .BandCount(2)
                           .Band(0, 32, 100, Payload({{4, {1}}}))
                           .BandHeader(32, 64, 100, 10)
                           .bytes();
  Feed(stream);
  const ListView view = View();
  ASSERT_EQ(view.bands.size(), 2u);
  EXPECT_EQ(view.bandCounter, 1);
  EXPECT_EQ(view.bands[0].top, 0);
  EXPECT_EQ(view.bands[1].top, 32);
  EXPECT_EQ(view.bands[1].payloadLeft, 10u);
}

// A band header announcing no payload leaves the band waiting for its header: the next 12 bytes
// replace it. Writers therefore never send a band without records.
TEST_F(StreamReaders, HeaderWithoutPayloadIsReadAgain) {
  const Bytes stream = JobStreamBuilder()
                           .Header()
                           .BandCount(2)
                           .BandHeader(0, 32, 100, 0)
                           .Band(32, 64, 100, Payload({{4, {7}}}))
                           .bytes();
  Feed(stream);
  const ListView view = View();
  ASSERT_EQ(view.bands.size(), 2u);  // the completed band and the next one, still empty
  EXPECT_EQ(view.bands[0].top, 32);
  const std::vector<RecordView> expected = {{4, {7}}};
  EXPECT_EQ(view.bands[0].records, expected);
  EXPECT_EQ(view.bandCounter, 1);
}

TEST_F(StreamReaders, PageEndClearsTheListAndTheNextPageGetsAFreshHead) {
  const Bytes stream = JobStreamBuilder()
                           .Header()
                           .BandCount(2)
                           .Band(0, 32, 100, Payload({{5, {1, 2}}}))
                           .Band(32, 64, 100, Payload({{5, {3}}}))
                           .BandCount(1)
                           .BandHeader(0, 48, 100, 6)
                           .bytes();
  Feed(std::span(stream).first(126 + 12 + 8));
  ASSERT_EQ(View().bands.size(), 2u);

  Feed(std::span(stream).subspan(126 + 12 + 8));
  const ListView view = View();
  ASSERT_EQ(view.bands.size(), 1u);
  EXPECT_EQ(view.bands[0].end, 48);
  EXPECT_EQ(view.bands[0].isPageHead, 1u);
  EXPECT_EQ(view.bandCounter, 1);
  EXPECT_EQ(context_.slotBand[0], nullptr);
  EXPECT_EQ(context_.slotBand[1], nullptr);
}

// Payloads that do not follow the record format. The parser keeps the records that lie wholly inside
// the payload, drops the broken tail, and the next band is read from the right byte.
struct MalformedCase {
  const char* name;
  Bytes payload;
  std::vector<RecordView> kept;
};

class MalformedPayloads : public StreamReaders, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedPayloads, KeepWholeRecordsAndStayInStep) {
  const MalformedCase& c = GetParam();
  const Bytes next = Payload({{84, {9, 9, 9}}});
  const Bytes stream =
      JobStreamBuilder().Header().BandCount(3).Band(0, 32, 100, c.payload).Band(32, 64, 100, next).bytes();
  Feed(stream);

  const ListView view = View();
  ASSERT_EQ(view.bands.size(), 3u);
  EXPECT_EQ(view.bands[0].records, c.kept);
  const std::vector<RecordView> nextRecords = {{84, {9, 9, 9}}};
  EXPECT_EQ(view.bands[1].records, nextRecords);
  EXPECT_EQ(view.bands[1].top, 32);
  EXPECT_EQ(view.bandCounter, 1);
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Records, MalformedPayloads,
    ::testing::Values(
        // kind 80, length 9 with 8 bytes of data left in the payload
        MalformedCase{"DataOverrunsPayload", Bytes{80, 0, 9, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}, {}},
        MalformedCase{"SecondRecordOverruns",
                      Concat(Payload({{4, {1, 2}}}), Bytes{5, 0, 0xFF, 0xFF, 0xFF, 0xFF, 7}),
                      {{4, {1, 2}}}},
        // 3 bytes after a whole record: too few for a record header
        MalformedCase{"TruncatedRecordHeader", Concat(Payload({{76, {1}}}), Bytes{77, 0, 1}), {{76, {1}}}},
        MalformedCase{"EmptyRecordData", Payload({{101, {}}, {102, {4}}}), {{101, {}}, {102, {4}}}},
        MalformedCase{"LengthJustFits", Payload({{103, Bytes(300, 0xAB)}}), {{103, Bytes(300, 0xAB)}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A payload size is not trusted before its bytes arrive: memory follows what was actually sent.
TEST_F(StreamReaders, HugePayloadSizeHoldsOnlyTheBytesThatArrived) {
  const Bytes stream = JobStreamBuilder().Header().BandCount(1).BandHeader(0, 32, 100, 0xFFFFFFF0).bytes();
  Feed(stream);
  EXPECT_EQ(Tail().payloadCapacity, 0u);
  const Bytes chunk(50000, 0x55);
  for (int i = 0; i < 4; ++i) FeedPiece(chunk);
  EXPECT_EQ(Tail().payloadLeft, 0xFFFFFFF0u - 200000);
  EXPECT_GE(Tail().payloadCapacity, 200000u);
  EXPECT_LE(Tail().payloadCapacity, 2 * 200000u);
  EXPECT_EQ(std::count(Tail().payload, Tail().payload + 200000, 0x55), 200000);
  EXPECT_EQ(context_.bandList->bandCounter, 1);
}

// A payload that grows across many pieces comes out whole.
TEST_F(StreamReaders, LargePayloadSplitsAfterGrowing) {
  Bytes big(300000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  const Bytes payload = Payload({{80, big}, {4, {1}}});
  const Bytes stream = JobStreamBuilder().Header().BandCount(2).Band(0, 32, 100, payload).bytes();
  Feed(stream, {126, 12, 1, 70000, 70000, 70000});
  const ListView view = View();
  ASSERT_EQ(view.bands.size(), 2u);
  const std::vector<RecordView> expected = {{80, big}, {4, {1}}};
  EXPECT_EQ(view.bands[0].records, expected);
}

// One stream of two pages, a page count of 0 between them, a malformed band and an unfinished last
// band, cut at random places: every cut gives the same display list as the whole stream at once.
Bytes SplitReferenceStream() {
  Bytes many;
  for (int i = 0; i < 40; ++i) many = Concat(many, RecordBytes({static_cast<uint16_t>(i), Bytes(i % 7, uint8_t(i))}));
  return JobStreamBuilder()
      .Header(1500, 1248, 2)
      .BandCount(2)
      .Band(0, 32, 1248, Payload({{80, kImageData}, {999, kUnknownData}}))
      .Band(32, 64, 1248, Payload({{4, {1, 2, 3}}}))
      .BandCount(0)
      .BandCount(3)
      .Band(0, 40, 1248, many)
      .Band(40, 80, 1248, Bytes{80, 0, 50, 0, 0, 0, 1, 2, 3})
      .BandHeader(80, 120, 1248, 500)
      .Raw(Bytes(123, 0x11))
      .bytes();
}

TEST(StreamReaderSplits, AnyCutGivesTheSameDisplayList) {
  const Bytes stream = SplitReferenceStream();
  Feeder whole;
  whole.Feed(stream);
  const ListView reference = whole.View();
  ASSERT_EQ(reference.bands.size(), 3u);
  EXPECT_EQ(reference.bands[0].records.size(), 40u);
  EXPECT_TRUE(reference.bands[1].records.empty());
  EXPECT_EQ(reference.bands[2].payloadLeft, 500u - 123u);
  EXPECT_EQ(reference.bandCounter, 1);

  const uint32_t seed = std::random_device{}();
  std::mt19937 random(seed);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed << ", round " << round);
    // Mostly small pieces, now and then a long one, so that every field is cut somewhere.
    std::uniform_int_distribution<size_t> small(0, 13), large(0, 300), pick(0, 9);
    Feeder split;
    for (size_t at = 0; at < stream.size();) {
      const size_t piece = std::min(stream.size() - at, pick(random) == 0 ? large(random) : small(random));
      split.FeedPiece(std::span(stream).subspan(at, piece));
      at += piece;
    }
    ASSERT_EQ(split.View(), reference);
  }
}

TEST(JobHeader, InterpretedFieldsAreReadAtTheirOffsets) {
  Bytes bytes(124, 0);
  struct Field {
    size_t offset;
    WORD JobHeader::*field;
  };
  const Field fields[] = {{4, &JobHeader::extentA},     {6, &JobHeader::extentB},    {14, &JobHeader::paperKind},
                          {66, &JobHeader::pageCopies}, {94, &JobHeader::topShift},  {98, &JobHeader::topOrigin},
                          {112, &JobHeader::borderMode}, {118, &JobHeader::gridCopies}};
  uint16_t value = 0x0101;
  for (const Field& f : fields) {
    bytes[f.offset] = static_cast<uint8_t>(value);
    bytes[f.offset + 1] = static_cast<uint8_t>(value >> 8);
    value = static_cast<uint16_t>(value + 0x0203);
  }
  bytes[122] = bytes[123] = 0xFF;
  const JobHeader header = ReadJobHeader(bytes);
  value = 0x0101;
  for (const Field& f : fields) {
    EXPECT_EQ(header.*f.field, value) << "offset " << f.offset;
    value = static_cast<uint16_t>(value + 0x0203);
  }

  bytes[122] = bytes[123] = 0;
  const JobHeader same = ReadJobHeader(bytes);
  EXPECT_TRUE(std::equal(std::begin(header.bytes), std::end(header.bytes), std::begin(same.bytes)));
}

TEST(DisplayList, BandsChainInOrderAndOnlyTheHeadIsMarked) {
  PageBandList* list = CreateBandList();
  ASSERT_NE(list, nullptr);
  AppendBand(*list, new Band);
  AppendBand(*list, new Band);
  std::vector<uint32_t> marks;
  for (Band* band = list->head; band; band = band->next) marks.push_back(band->isPageHead);
  EXPECT_EQ(marks, (std::vector<uint32_t>{1, 0, 0}));
  EXPECT_EQ(list->tail->next, nullptr);

  ClearBandList(*list);
  EXPECT_EQ(list->head, nullptr);
  EXPECT_EQ(list->hasBand, 0u);
  AppendBand(*list, new Band);
  EXPECT_EQ(list->head->isPageHead, 1u);
  DestroyBandList(list);
}

TEST(DisplayList, HundredRecordsKeepStreamOrder) {
  Bytes payload;
  for (uint16_t kind = 0; kind < 100; ++kind) payload = Concat(payload, RecordBytes({kind, {uint8_t(kind)}}));
  auto* band = new Band;
  SplitPayload(*band, payload);
  uint16_t expected = 0;
  for (const BandRecord* r = band->records; r; r = r->next, ++expected) {
    ASSERT_EQ(r->kind, expected);
    ASSERT_EQ(r->length, 1u);
    ASSERT_EQ(r->data[0], expected);
  }
  EXPECT_EQ(expected, 100);
  DestroyBandChain(band);
}

}  // namespace
}  // namespace dovamon::test
