#include "net/message.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/latin1.h"

namespace bg {

namespace {

// Restores the flag even if a handler throws, so the reader stays usable.
struct BusyGuard {
  bool& flag;
  explicit BusyGuard(bool& f) : flag(f) { flag = true; }
  ~BusyGuard() { flag = false; }
};

bool IsMarker(const uint8_t* p) { return std::memcmp(p, kFrameMarkerBytes.data(), kFrameMarkerSize) == 0; }
// n bytes (at most 8) that the marker starts with.
bool BeginsMarker(const uint8_t* p, size_t n) { return n == 0 || std::memcmp(p, kFrameMarkerBytes.data(), n) == 0; }

uint16_t FrameId(const uint8_t* header) { return uint16_t(header[8] | (header[9] << 8)); }

template <typename U>
U LoadLE(const uint8_t* p) {
  U v = 0;
  for (size_t i = 0; i < sizeof(U); ++i) v |= U(p[i]) << (8 * i);
  return v;
}

template <typename U>
void StoreLE(uint8_t* p, U v) {
  for (size_t i = 0; i < sizeof(U); ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

// ---- MessageWriter ----

void MessageWriter::Put(const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  buf_.insert(buf_.end(), b, b + n);
}

void MessageWriter::MNew(uint16_t id) {
  Put(kFrameMarkerBytes.data(), kFrameMarkerSize);
  MShort(id);
}

void MessageWriter::MByte(uint8_t v) { buf_.push_back(v); }

void MessageWriter::MShort(uint16_t v) {
  uint8_t b[2];
  StoreLE(b, v);
  Put(b, sizeof b);
}

void MessageWriter::MInt(int32_t v) {
  uint8_t b[4];
  StoreLE(b, uint32_t(v));
  Put(b, sizeof b);
}

void MessageWriter::MLong(int64_t v) {
  uint8_t b[8];
  StoreLE(b, uint64_t(v));
  Put(b, sizeof b);
}

void MessageWriter::MFloat(float v) {
  uint8_t b[4];
  StoreLE(b, std::bit_cast<uint32_t>(v));
  Put(b, sizeof b);
}

void MessageWriter::MDouble(double v) {
  uint8_t b[8];
  StoreLE(b, std::bit_cast<uint64_t>(v));
  Put(b, sizeof b);
}

void MessageWriter::MLine(std::string_view text) {
  std::string bytes = Utf8ToLatin1(std::string(text));
  std::replace_if(bytes.begin(), bytes.end(), [](char c) { return c == '\n' || c == '\0'; }, '?');
  Put(bytes.data(), bytes.size());
  buf_.push_back(13);
  buf_.push_back(10);
}

void MessageWriter::MString(std::string_view text) {
  const std::string bytes = Utf8ToLatin1(std::string(text));
  Put(bytes.data(), bytes.size());
}

void MessageWriter::MBytes(std::span<const uint8_t> bytes) { Put(bytes.data(), bytes.size()); }

// ---- FieldReader ----

FieldReader::FieldReader(std::span<const uint8_t> data, size_t maxField) : data_(data), maxField_(maxField) {}

bool FieldReader::Take(void* out, size_t n) {
  if (!Ok() || Remaining() < n) {
    if (Ok()) needMore_ = true;
    std::memset(out, 0, n);
    return false;
  }
  std::memcpy(out, data_.data() + pos_, n);
  pos_ += n;
  return true;
}

uint8_t FieldReader::ReadByte() {
  uint8_t b = 0;
  Take(&b, 1);
  return b;
}

uint16_t FieldReader::ReadShort() {
  uint8_t b[2];
  Take(b, sizeof b);
  return LoadLE<uint16_t>(b);
}

int32_t FieldReader::ReadInt() {
  uint8_t b[4];
  Take(b, sizeof b);
  return int32_t(LoadLE<uint32_t>(b));
}

int64_t FieldReader::ReadLong() {
  uint8_t b[8];
  Take(b, sizeof b);
  return int64_t(LoadLE<uint64_t>(b));
}

float FieldReader::ReadFloat() {
  uint8_t b[4];
  Take(b, sizeof b);
  return std::bit_cast<float>(LoadLE<uint32_t>(b));
}

double FieldReader::ReadDouble() {
  uint8_t b[8];
  Take(b, sizeof b);
  return std::bit_cast<double>(LoadLE<uint64_t>(b));
}

std::string FieldReader::ReadLine(size_t maxBytes) {
  if (!Ok()) return {};
  // Look no further than one byte past the limit: enough to tell a line
  // that is too long, without waiting for the rest of it.
  const size_t window = Remaining() > maxBytes ? maxBytes + 1 : Remaining();
  const uint8_t* begin = data_.data() + pos_;
  const uint8_t* end = std::find_if(begin, begin + window, [](uint8_t c) { return c == 10 || c == 0; });
  const size_t len = size_t(end - begin);
  if (len == window) {
    if (len > maxBytes) {
      failed_ = true;
    } else {
      needMore_ = true;
    }
    return {};
  }
  std::string bytes;
  bytes.reserve(len);
  for (const uint8_t* p = begin; p != end; ++p)
    if (*p != 13) bytes.push_back(char(*p));
  pos_ += len + 1;
  return Latin1ToUtf8(bytes);
}

std::vector<uint8_t> FieldReader::ReadBytes(size_t n) {
  if (!Ok()) return {};
  if (n > maxField_) {
    failed_ = true;
    return {};
  }
  if (Remaining() < n) {
    needMore_ = true;
    return {};
  }
  std::vector<uint8_t> out(data_.begin() + pos_, data_.begin() + pos_ + n);
  pos_ += n;
  return out;
}

std::string FieldReader::ReadString(size_t n) {
  const std::vector<uint8_t> raw = ReadBytes(n);
  return Latin1ToUtf8(std::string(raw.begin(), raw.end()));
}

// ---- FrameReader ----

bool FrameReader::Feed(std::span<const uint8_t> chunk, const FrameHandler& handler) {
  if (broken_) return false;
  if (busy_) {
    pending_.insert(pending_.end(), chunk.begin(), chunk.end());
    return true;
  }
  BusyGuard guard(busy_);
  size_t fresh = buf_.size();
  buf_.insert(buf_.end(), chunk.begin(), chunk.end());
  Process(handler, fresh);
  while (!broken_ && !pending_.empty()) {
    fresh = buf_.size();
    buf_.insert(buf_.end(), pending_.begin(), pending_.end());
    pending_.clear();
    Process(handler, fresh);
  }
  if (broken_) pending_.clear();
  return !broken_;
}

void FrameReader::Process(const FrameHandler& handler, size_t fresh) {
  const size_t n = buf_.size();
  // Bytes before `fresh` were kept from earlier chunks: a marker's beginning or
  // an incomplete frame. They count only while they still make a frame with
  // this chunk, and never when this chunk starts a frame of its own.
  const bool chunkStartsFrame = n - fresh >= kFrameMarkerSize && IsMarker(buf_.data() + fresh);
  // Among held bytes a frame may start where any chunk started, not only at the first:
  // a false start of the marker can come just before a real one split over short chunks.
  const auto nextStart = [&](size_t p) {
    while (++p < std::min(fresh, kFrameMarkerSize))
      if (heldStarts_ & (1u << p)) return p;
    return fresh;
  };
  size_t p = 0;  // past the held bytes: a multiple of 8 past the chunk's start or the last frame's end
  while (n - p >= kFrameMarkerSize) {
    const uint8_t* frame = buf_.data() + p;
    if (!IsMarker(frame) || (p < fresh && chunkStartsFrame)) {
      const size_t next = p < fresh ? nextStart(p) : p + kFrameMarkerSize;
      skipped_ += next - p;
      p = next;
      continue;
    }
    if (n - p < kFrameHeaderSize) break;
    FieldReader r(std::span<const uint8_t>(frame + kFrameHeaderSize, n - p - kFrameHeaderSize), maxHeld_);
    const Parse res = handler(FrameId(frame), r);
    if (r.Failed() || res == Parse::Error) {
      broken_ = true;
      buf_.clear();
      return;
    }
    if (r.NeedMore() || res == Parse::NeedMore) break;
    p += kFrameHeaderSize + (res == Parse::Unknown ? 0 : r.Position());
  }
  uint32_t starts = 0;
  if (n - p < kFrameMarkerSize) {
    // A short tail is kept only if it can still become a marker.
    const size_t from = p;
    while (p < fresh && !BeginsMarker(buf_.data() + p, n - p)) p = nextStart(p);
    if (!BeginsMarker(buf_.data() + p, n - p)) p = n;
    skipped_ += p - from;
    if (p < kFrameMarkerSize) starts = ((heldStarts_ | (fresh < kFrameMarkerSize ? 1u << fresh : 0u)) >> p) & 0xFEu;
  }
  heldStarts_ = uint8_t(starts);
  buf_.erase(buf_.begin(), buf_.begin() + std::ptrdiff_t(p));
  if (buf_.size() > maxHeld_) {
    broken_ = true;
    buf_.clear();
  }
}

void FrameReader::Reset() {
  buf_.clear();
  heldStarts_ = 0;
  pending_.clear();
  skipped_ = 0;
  broken_ = false;
}

// ---- FirstFrameReader ----

bool FirstFrameReader::Feed(std::span<const uint8_t> block, const FrameHandler& handler) {
  if (broken_) return false;
  // A block fed from inside the handler is the rest of a block being read.
  if (busy_) return true;
  BusyGuard guard(busy_);
  const size_t held = buf_.size();
  buf_.insert(buf_.end(), block.begin(), block.end());
  // Held bytes go on only while they still make a frame with this block, and
  // never when the block starts a frame of its own.
  if (held > 0 && ((block.size() >= kFrameMarkerSize && IsMarker(block.data())) ||
                   !BeginsMarker(buf_.data(), std::min(buf_.size(), kFrameMarkerSize))))
    buf_.erase(buf_.begin(), buf_.begin() + std::ptrdiff_t(held));
  if (buf_.size() < kFrameMarkerSize) {
    if (!BeginsMarker(buf_.data(), buf_.size())) buf_.clear();
    return true;
  }
  if (!IsMarker(buf_.data())) {
    buf_.clear();
    return true;
  }
  if (buf_.size() < kFrameHeaderSize) return true;
  FieldReader r(std::span<const uint8_t>(buf_).subspan(kFrameHeaderSize), maxHeld_);
  const Parse res = handler(FrameId(buf_.data()), r);
  if (r.Failed() || res == Parse::Error) {
    broken_ = true;
    buf_.clear();
    return false;
  }
  if (r.NeedMore() || res == Parse::NeedMore) {
    if (buf_.size() > maxHeld_) {
      broken_ = true;
      buf_.clear();
    }
    return !broken_;
  }
  buf_.clear();
  return true;
}

void FirstFrameReader::Reset() {
  buf_.clear();
  broken_ = false;
}

}  // namespace bg
