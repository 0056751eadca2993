// The frame codec of game connections (FrameReader) and of the list-server connection
// (FirstFrameReader), fed a byte stream cut into chunks at places the input chooses.
//
// Input: byte 0 holds the count k (0..15) of chunk sizes that follow in bytes 1..k; the
// rest is the stream, fed in chunks of those sizes in turn (0: an empty feed).
//
// Checks, beyond the sanitizers:
//  - a stream that is read whole without a byte skipped (frames back to back) gives the same
//    frames however it is cut, and ends in the same state, unless a chunk starting with a
//    marker drops a frame held from before (that chunk starts a frame of its own);
//  - whatever came before, a frame sent in a chunk of its own is read (streams realign);
//  - once a field read has run short or failed, every later read gives zero or nothing;
//  - a FirstFrameReader hands over at most one frame per block.
#include <cstdio>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "net/message.h"

namespace {

using bg::FieldReader;
using bg::Parse;
using bg::fuzz::Check;

// Reads a field and checks the sticky flags' promise: nothing comes out once they are set.
template <typename T, typename Read>
T Field(FieldReader& r, Read read) {
  const bool was = r.Ok();
  T v = read();
  if (!was) Check(v == T{}, "a read after a short or failed read returned data");
  return v;
}

// Fields by id, the way the game's messages are laid out: numbers, lines, counted strings,
// lists. Every read is logged so runs can be compared.
struct Handler {
  std::vector<std::string>* log = nullptr;   // frames the reader accepted, in order
  // Feeds part of a frame back into the reader from inside the handler, as a handler that
  // answers a message by reading queued input may do.
  std::function<void(std::span<const uint8_t>)> refeed;
  size_t refeedBudget = 0;
  size_t calls = 0, accepted = 0;

  Parse operator()(uint16_t id, FieldReader& r) {
    ++calls;
    std::string rec = std::to_string(id) + ":";
    auto num = [&](auto v) { rec += std::to_string(v) + ","; };
    auto text = [&](const std::string& s) { rec += "[" + s + "]"; };
    Parse res = Parse::Done;
    switch (id % 12) {
      case 0: return Log(r, rec + "U", Parse::Unknown);  // not a message we handle
      case 1: num(Field<uint8_t>(r, [&] { return r.ReadByte(); })); break;
      case 2: text(Field<std::string>(r, [&] { return r.ReadLine(); })); break;
      case 3:  // a move: position and kind
        num(Field<int32_t>(r, [&] { return r.ReadInt(); }));
        num(Field<int32_t>(r, [&] { return r.ReadInt(); }));
        num(Field<uint8_t>(r, [&] { return r.ReadByte(); }));
        break;
      case 4: {  // a list: count, then address, port, age, name per entry
        const uint16_t n = Field<uint16_t>(r, [&] { return r.ReadShort(); });
        num(n);
        for (uint16_t i = 0; i < n && r.Ok(); ++i) {
          text(Field<std::string>(r, [&] { return r.ReadLine(); }));
          num(Field<int32_t>(r, [&] { return r.ReadInt(); }));
          num(Field<uint16_t>(r, [&] { return r.ReadShort(); }));
          text(Field<std::string>(r, [&] { return r.ReadLine(256); }));
        }
        break;
      }
      case 5: {  // a counted string; the count comes from the stream
        const int32_t n = Field<int32_t>(r, [&] { return r.ReadInt(); });
        num(n);
        text(Field<std::string>(r, [&] { return r.ReadString(size_t(uint32_t(n))); }));
        break;
      }
      case 6:
        num(Field<int64_t>(r, [&] { return r.ReadLong(); }));
        num(Field<float>(r, [&] { return r.ReadFloat(); }));
        num(Field<double>(r, [&] { return r.ReadDouble(); }));
        break;
      case 7: {
        const uint16_t n = Field<uint16_t>(r, [&] { return r.ReadShort(); });
        num(Field<std::vector<uint8_t>>(r, [&] { return r.ReadBytes(n); }).size());
        break;
      }
      case 8: text(Field<std::string>(r, [&] { return r.ReadLine(16); })); break;  // a short name
      case 9: {  // a value no honest sender uses marks the frame hostile
        const uint8_t b = Field<uint8_t>(r, [&] { return r.ReadByte(); });
        num(b);
        if (b == 0xEE) res = Parse::Error;
        break;
      }
      case 10: break;  // a message with no fields
      case 11: {       // bytes fed back into the reader while it is reading
        const uint16_t n = Field<uint16_t>(r, [&] { return r.ReadShort(); });
        const std::vector<uint8_t> bytes = Field<std::vector<uint8_t>>(r, [&] { return r.ReadBytes(n); });
        num(bytes.size());
        if (r.Ok() && refeed && bytes.size() <= refeedBudget) {
          refeedBudget -= bytes.size();
          refeed(bytes);
        }
        break;
      }
    }
    return Log(r, rec, res);
  }

  Parse Log(FieldReader& r, const std::string& rec, Parse res) {
    if (r.Ok()) {  // only then does the reader act on the frame
      ++accepted;
      if (log) log->push_back(rec + (res == Parse::Error ? "E" : res == Parse::Unknown ? "" : "D"));
    }
    return res;
  }
};

std::vector<std::span<const uint8_t>> Cut(std::span<const uint8_t> sizes, std::span<const uint8_t> stream) {
  std::vector<std::span<const uint8_t>> chunks;
  bool anyNonZero = false;
  for (uint8_t s : sizes) anyNonZero |= s != 0;
  if (!anyNonZero) return {stream};
  size_t pos = 0, i = 0;
  while (pos < stream.size()) {
    const size_t n = std::min<size_t>(sizes[i++ % sizes.size()], stream.size() - pos);
    chunks.push_back(stream.subspan(pos, n));
    pos += n;
  }
  return chunks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t k = std::min<size_t>(data[0] & 15, size - 1);
  const std::span<const uint8_t> sizes(data + 1, k), stream(data + 1 + k, size - 1 - k);
  const auto chunks = Cut(sizes, stream);

  // The same stream whole and in chunks. The held-frame cap is set out of reach, so
  // cutting cannot change the outcome.
  {
    std::vector<std::string> whole, cut;
    bg::FrameReader a(size_t(1) << 30), b(size_t(1) << 30);
    Handler ha, hb;
    ha.log = &whole;
    hb.log = &cut;
    a.Feed(stream, [&](uint16_t id, FieldReader& r) { return ha(id, r); });
    bool heldFrameDropped = false;
    for (auto c : chunks) {
      heldFrameDropped |= b.Held() >= bg::kFrameMarkerSize && c.size() >= bg::kFrameMarkerSize &&
                          std::memcmp(c.data(), bg::kFrameMarkerBytes.data(), bg::kFrameMarkerSize) == 0;
      b.Feed(c, [&](uint16_t id, FieldReader& r) { return hb(id, r); });
    }
    const bool comparable = a.Skipped() == 0 && !heldFrameDropped;
    if (comparable && (whole != cut || a.Broken() != b.Broken() || a.Held() != b.Held())) {
      std::fprintf(stderr, "whole: %zu frames, broken %d, held %zu; cut into %zu chunks: %zu frames, broken %d, held %zu\n",
                   whole.size(), int(a.Broken()), a.Held(), chunks.size(), cut.size(), int(b.Broken()), b.Held());
      for (size_t i = 0; i < std::max(whole.size(), cut.size()); ++i)
        std::fprintf(stderr, "  %s | %s\n", i < whole.size() ? whole[i].c_str() : "-", i < cut.size() ? cut[i].c_str() : "-");
      bg::fuzz::Fail("frames differ when the stream is cut differently");
    }
    // A frame with no fields (id 10), sent on its own after all that.
    bg::MessageWriter w;
    w.MNew(10);
    const size_t before = cut.size();
    b.Feed(w.Bytes(), [&](uint16_t id, FieldReader& r) { return hb(id, r); });
    Check(b.Broken() || (cut.size() == before + 1 && cut.back() == "10:D"), "a frame in a chunk of its own was missed");
  }

  // A small held-frame cap (so the reader breaks) and bytes fed back from inside the handler.
  {
    bg::FrameReader r(size_t(16) + (size % 97));
    Handler h;
    const bg::FrameHandler fn = [&](uint16_t id, FieldReader& fr) { return h(id, fr); };
    h.refeed = [&](std::span<const uint8_t> bytes) { r.Feed(bytes, fn); };
    h.refeedBudget = 4 * stream.size();
    for (auto c : chunks) {
      const bool open = r.Feed(c, fn);
      Check(open == !r.Broken(), "Feed's result disagrees with Broken()");
      if (r.Broken()) Check(r.Held() == 0, "a broken reader holds bytes");
    }
    r.Reset();
    Check(r.Held() == 0 && !r.Broken(), "Reset left state behind");
  }

  // The list-server connection: each chunk is one block.
  for (size_t cap : {bg::kMaxHeldListFrameBytes, size_t(24)}) {
    bg::FirstFrameReader r(cap);
    Handler h;
    const bg::FrameHandler fn = [&](uint16_t id, FieldReader& fr) { return h(id, fr); };
    h.refeed = [&](std::span<const uint8_t> bytes) { r.Feed(bytes, fn); };  // the rest of the block: dropped
    h.refeedBudget = stream.size();
    for (auto c : chunks) {
      const size_t before = h.accepted;
      r.Feed(c, fn);
      Check(h.accepted - before <= 1, "more than one frame taken from one block");
      if (r.Broken()) Check(r.Held() == 0, "a broken list reader holds bytes");
    }
  }
  return 0;
}
