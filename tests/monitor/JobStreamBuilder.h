// Writes job streams for the tests, field by field, little-endian, the way the printer driver does.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace dovamon::test {

using Bytes = std::vector<uint8_t>;

inline void PutLe16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void PutLe32(Bytes& out, uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}

struct TestRecord {
  uint16_t kind;
  Bytes data;
};

// kind u16, length u32, data.
inline Bytes RecordBytes(const TestRecord& record) {
  Bytes out;
  PutLe16(out, record.kind);
  PutLe32(out, static_cast<uint32_t>(record.data.size()));
  out.insert(out.end(), record.data.begin(), record.data.end());
  return out;
}

inline Bytes Payload(std::initializer_list<TestRecord> records) {
  Bytes out;
  for (const TestRecord& record : records) {
    const Bytes bytes = RecordBytes(record);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

class JobStreamBuilder {
 public:
  // A 124-byte job header: every byte numbered by its offset, so that a shifted read shows, and the
  // interpreted fields set where a test asks.
  JobStreamBuilder& Header(uint16_t extentA = 1248, uint16_t extentB = 1500, uint16_t pageCopies = 1) {
    Bytes header(124);
    for (size_t i = 0; i < header.size(); ++i) header[i] = static_cast<uint8_t>(i);
    SetLe16(header, 4, extentA);
    SetLe16(header, 6, extentB);
    SetLe16(header, 66, pageCopies);
    bytes_.insert(bytes_.end(), header.begin(), header.end());
    return *this;
  }
  JobStreamBuilder& BandCount(uint16_t count) {
    PutLe16(bytes_, count);
    return *this;
  }
  // bandTop, bandEnd, width, height (bandEnd - bandTop), payloadSize, then the payload.
  JobStreamBuilder& Band(uint16_t top, uint16_t end, uint16_t width, const Bytes& payload) {
    BandHeader(top, end, width, static_cast<uint32_t>(payload.size()));
    return Raw(payload);
  }
  JobStreamBuilder& BandHeader(uint16_t top, uint16_t end, uint16_t width, uint32_t payloadSize) {
    PutLe16(bytes_, top);
    PutLe16(bytes_, end);
    PutLe16(bytes_, width);
    PutLe16(bytes_, static_cast<uint16_t>(end - top));
    PutLe32(bytes_, payloadSize);
    return *this;
  }
  JobStreamBuilder& Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }

 private:
  static void SetLe16(Bytes& out, size_t offset, uint16_t value) {
    out[offset] = static_cast<uint8_t>(value);
    out[offset + 1] = static_cast<uint8_t>(value >> 8);
  }
  Bytes bytes_;
};

}  // namespace dovamon::test
