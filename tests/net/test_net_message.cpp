// The frame codec: field layout, the reader's sticky flags, every game message's bytes, chunking
// at every split point, the 8-byte resynchronisation and hostile input. Random streams, cut
// anywhere and fed back from inside a handler, are the fuzz target's job (fuzz/fuzz_frames.cpp).
#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <string>
#include <vector>

#include "net/message.h"
#include "net/message_table.h"

namespace bg {
namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Garbage(size_t n) { return Bytes(n, 0xAA); }
std::string Str(std::span<const uint8_t> b) { return std::string(b.begin(), b.end()); }
template <class M>
Bytes Written(const M& m) {
  MessageWriter w;
  WriteMessage(w, m);
  return Bytes(w.Bytes().begin(), w.Bytes().end());
}
Bytes Frame(uint16_t id, const std::function<void(MessageWriter&)>& fields = {}) {
  MessageWriter w;
  w.MNew(id);
  if (fields) fields(w);
  return Bytes(w.Bytes().begin(), w.Bytes().end());
}
Bytes Line(const std::string& text) { return Written(ChatToPlayer{text}); }
std::string Seen(const std::string& line) { return Str(Line(line)); }

// Records each game message it reads written again: equal bytes show that the reader undoes the writer.
struct Recorder {
  Dir dir = Dir::ToPlayer;
  Texts seen;
  Parse operator()(uint16_t id, FieldReader& r) {
    const auto again = [this](const auto& m) { seen.push_back(Str(Written(m))); };
    return dir == Dir::ToHost ? ReadGameMessage<Dir::ToHost>(id, r, again) : ReadGameMessage<Dir::ToPlayer>(id, r, again);
  }
  FrameHandler Handler() {
    return [this](uint16_t id, FieldReader& r) { return (*this)(id, r); };
  }
};

// Feeds the stream cut at the given ascending offsets.
void FeedCut(FrameReader& reader, Recorder& rec, const Bytes& s, const std::vector<size_t>& cuts) {
  size_t from = 0;
  for (size_t cut : cuts) {
    reader.Feed(std::span<const uint8_t>(s).subspan(from, cut - from), rec.Handler());
    from = cut;
  }
  reader.Feed(std::span<const uint8_t>(s).subspan(from), rec.Handler());
}
Texts ParseCut(const Bytes& s, const std::vector<size_t>& cuts, bool* broken = nullptr, Dir dir = Dir::ToPlayer) {
  Recorder rec{dir, {}};
  FrameReader reader;
  FeedCut(reader, rec, s, cuts);
  if (broken) *broken = reader.Broken();
  return rec.seen;
}
Texts Parse1(const Bytes& s) { return ParseCut(s, {}); }

// Every game message: what its writer gives, and the bytes after the marker spelled out by hand.
// Frames with no writer hold a field out of its range: a reader passes over them.
struct Golden {
  Dir dir;
  Bytes written, want;
};
template <class M>
Golden G(const M& m, const Bytes& want) {
  return {M::kDir, Written(m), Cat({Bytes(kFrameMarkerBytes.begin(), kFrameMarkerBytes.end()), want})};
}
Golden Dropped(Dir dir, const Bytes& want) { return {dir, {}, G(KickedMsg{}, want).want}; }
const Golden kGolden[] = {
    G(JoinMsg{"Ann", {1, 2, 3}}, {1, 0, 'A', 'n', 'n', 13, 10, 1, 2, 3}),
    G(PlayerMsg{"B\xC3\xB6", {4, 5, 6}, 254}, {2, 0, 'B', 0xF6, 13, 10, 4, 5, 6, 254}),
    G(IdentityMsg{"", {7, 8, 9}, 0}, {4, 0, 13, 10, 7, 8, 9, 0}),
    G(LeftMsg{3}, {3, 0, 3}),
    G(ChatToHost{"hi"}, {5, 0, 'h', 'i', 13, 10}),
    G(ChatToPlayer{"Ann: hi"}, {5, 0, 'A', 'n', 'n', ':', ' ', 'h', 'i', 13, 10}),
    G(KickedMsg{}, {7, 0}),
    G(ColourToHost{{10, 20, 30}}, {9, 0, 10, 20, 30}),
    G(ColourToPlayer{6, {10, 20, 30}}, {9, 0, 6, 10, 20, 30}),
    G(GameSetupMsg{30, 16, -99, 1, 0, -2, 1.5f},
      {41, 0, 30, 0, 0, 0, 16, 0, 0, 0, 0x9D, 0xFF, 0xFF, 0xFF, 1, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0xC0, 0x3F}),
    G(SeedMsg{0x01020304}, {45, 0, 4, 3, 2, 1}),
    G(ClickToHost{0x7FFFFFFF, 2}, {50, 0, 0xFF, 0xFF, 0xFF, 0x7F, 2}),
    G(ClickToPlayer{-1, 9, 255}, {50, 0, 0xFF, 0xFF, 0xFF, 0xFF, 9, 255}),
    Dropped(Dir::ToHost, {50, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1}),  // no block has a negative id
    Dropped(Dir::ToHost, {50, 0, 5, 0, 0, 0, 3}),              // no button 3
    Dropped(Dir::ToPlayer, {2, 0, 'X', 13, 10, 1, 2, 3, 255}),  // 255 names nobody
    Dropped(Dir::ToPlayer, {3, 0, 255}),
    Dropped(Dir::ToPlayer, {9, 0, 255, 1, 2, 3}),
};

// The kinds no game message uses, and Latin-1, spelled out; then every kind's edge values read back.
TEST(FieldReader, EveryFieldKindHasItsLayoutAndRoundTrips) {
  const std::vector<uint32_t> floats = {0, 0x80000000, 0x7F800000, 0x00000001, 0x7FC00001, 0x7F7FFFFF};
  const std::vector<uint64_t> doubles = {0, 0x8000000000000000ULL, 0x7FF8000000000123ULL, 0xFFEFFFFFFFFFFFFFULL};
  const std::vector<int64_t> longs = {0, -1, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()};
  const std::vector<int32_t> ints = {0, -1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
  const uint8_t raw[] = {0, 10, 13, 255};
  MessageWriter w;
  w.MShort(0xBEEF);
  w.MLong(0x0102030405060708LL);
  w.MDouble(68740.0);
  w.MString("xy");
  w.MLine("\xC4\x8A\xC3\xA9\xC2\x80\xC2\x9F");  // above 255 is '?', é is 0xE9, U+0080 and U+009F their own codes
  w.MLine(std::string("a\nb\0c", 5));  // a break inside a line would shift every later field
  const Bytes layout = {0xEF, 0xBE, 8, 7, 6, 5, 4, 3, 2, 1, 0x00, 0x00, 0x00, 0x00, 0x40, 0xC8, 0xF0, 0x40,
                        'x', 'y', '?', 0xE9, 0x80, 0x9F, 13, 10, 'a', '?', 'b', '?', 'c', 13, 10};
  EXPECT_EQ(Bytes(w.Bytes().begin(), w.Bytes().end()), layout);
  for (int v : {0, 127, 128, 255}) w.MByte(uint8_t(v));
  for (int v : {0, 0x7FFF, 0x8000, 0xFFFF}) w.MShort(uint16_t(v));
  for (int32_t v : ints) w.MInt(v);
  for (int64_t v : longs) w.MLong(v);
  for (uint32_t v : floats) w.MFloat(std::bit_cast<float>(v));
  for (uint64_t v : doubles) w.MDouble(std::bit_cast<double>(v));
  for (const char* t : {"plain", "", "\xC3\xA9t\xC3\xA9 \xC3\xBF", "\xC2\x80\xC2\x9F"}) w.MLine(t);
  w.MString("caf\xC3\xA9");
  w.MBytes(raw);
  FieldReader r(w.Bytes().subspan(layout.size()));
  for (int v : {0, 127, 128, 255}) EXPECT_EQ(r.ReadByte(), v);
  for (int v : {0, 0x7FFF, 0x8000, 0xFFFF}) EXPECT_EQ(r.ReadShort(), v);
  for (int32_t v : ints) EXPECT_EQ(r.ReadInt(), v);
  for (int64_t v : longs) EXPECT_EQ(r.ReadLong(), v);
  for (uint32_t v : floats) EXPECT_EQ(std::bit_cast<uint32_t>(r.ReadFloat()), v);
  for (uint64_t v : doubles) EXPECT_EQ(std::bit_cast<uint64_t>(r.ReadDouble()), v);
  for (const char* t : {"plain", "", "\xC3\xA9t\xC3\xA9 \xC3\xBF", "\xC2\x80\xC2\x9F"}) EXPECT_EQ(r.ReadLine(), t);
  EXPECT_EQ(r.ReadString(4), "caf\xC3\xA9");
  EXPECT_EQ(r.ReadBytes(4), Bytes(raw, raw + 4));
  EXPECT_TRUE(r.Ok());
  EXPECT_EQ(r.Remaining(), 0u);
  w.MClear();
  EXPECT_TRUE(w.Empty());
}

TEST(FieldReader, LineRulesLimitsAndStickyFlags) {
  const Bytes lines = {'a', 13, 'b', 13, 13, 10, 'c', 0, 0xE9, 10, 10};
  FieldReader r(lines);
  for (const char* want : {"ab", "c", "\xC3\xA9", ""}) EXPECT_EQ(r.ReadLine(), want);  // CR dropped; LF or NUL ends
  EXPECT_TRUE(r.Ok());
  // The limit counts every byte before the end, CR included: exactly maxBytes passes. Past the
  // limit with no end in sight fails without waiting; short of it, waits.
  const struct {
    Bytes in;
    std::string got;
    bool failed, needMore;
  } cases[] = {{Cat({Bytes(9, 'x'), {13, 10}}), std::string(9, 'x'), false, false},
               {Cat({Bytes(10, 'x'), {13, 10}}), "", true, false},
               {Bytes(11, 'x'), "", true, false},
               {{'a', 'b', 13}, "", false, true}};
  for (const auto& c : cases) {
    FieldReader f(c.in);
    EXPECT_EQ(f.ReadLine(10), c.got);
    EXPECT_TRUE(f.Failed() == c.failed && f.NeedMore() == c.needMore) << c.in.size() << " bytes";
  }
  // Counts: one no frame can hold fails at once; one that may still come waits.
  const Bytes sixteen(16, 'x'), three = {1, 2, 3};
  FieldReader big(sixteen, 100), fits(sixteen, 100);
  big.ReadBytes(101);
  fits.ReadString(100);
  EXPECT_TRUE(big.Failed());
  EXPECT_TRUE(fits.NeedMore() && !fits.Failed());
  // Sticky: nothing is read out of place after a short read.
  FieldReader s(three);
  EXPECT_EQ(s.ReadInt(), 0);
  EXPECT_EQ(s.ReadByte(), 0);
  EXPECT_EQ(s.ReadLine(), "");
  EXPECT_TRUE(s.ReadBytes(1).empty());
  EXPECT_EQ(s.Position(), 0u);
}

// Each side's game messages as spelled out, those passed over and an unhandled id, read whole, at every
// one or two split points and one byte at a time. No garbage: bytes skipped at the end of a chunk are
// dropped, so garbage cut by a chunk boundary changes where the next chunk is scanned.
TEST(FrameReader, EveryGameMessageIsWrittenAsSpelledOutAndReadBackWhereverTheStreamIsCut) {
  size_t writers = 0;
  for (const Dir dir : {Dir::ToHost, Dir::ToPlayer}) {
    Bytes s = Frame(999);
    Texts want;
    for (const Golden& g : kGolden) {
      if (g.dir != dir) continue;
      s = Cat({s, g.want});
      if (g.written.empty()) continue;
      EXPECT_EQ(g.written, g.want) << "id " << int(g.want[8]);
      want.push_back(Str(g.want));
      ++writers;
    }
    std::vector<size_t> bytewise;
    for (size_t a = 0; a <= s.size(); ++a) {
      if (a > 0 && a < s.size()) bytewise.push_back(a);
      bool broken = true;
      ASSERT_EQ(ParseCut(s, {a}, &broken, dir), want) << "cut at " << a;
      ASSERT_FALSE(broken);
      for (size_t b = a; b <= s.size(); ++b) ASSERT_EQ(ParseCut(s, {a, b}, nullptr, dir), want) << a << "," << b;
    }
    EXPECT_EQ(ParseCut(s, bytewise, nullptr, dir), want);
  }
  EXPECT_EQ(writers, std::tuple_size_v<GameMessages>) << "every message has its bytes spelled out here";
}

TEST(FrameReader, ScanResynchronisesOnlyInStepsOfEight) {
  const Bytes nearMarker = {0x00, 0x00, 0x00, 0x00, 0x40, 0xC8, 0xF0, 0x41};
  const struct {
    Bytes stream;
    Texts seen;
  } cases[] = {
      {Cat({Garbage(8), Line("x")}), {Seen("x")}},
      {Cat({Garbage(16), Line("x")}), {Seen("x")}},
      {Cat({nearMarker, Line("x")}), {Seen("x")}},
      {Cat({Garbage(3), Line("ab"), Line("found")}), {}},       // 3 + 14: still misaligned
      {Cat({Garbage(3), Line("a"), Line("found")}), {Seen("found")}},  // 3 + 13 = 16: aligned again
      {Cat({Frame(777), Line("next")}), {Seen("next")}},              // an unhandled frame ends at its id
      {Cat({Frame(777), Garbage(8), Line("next")}), {Seen("next")}},
      {Cat({Frame(777), Garbage(6), Line("next")}), {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse1(c.stream), c.seen) << "stream of " << c.stream.size();
  for (size_t n = 1; n < 8; ++n) EXPECT_TRUE(Parse1(Cat({Garbage(n), Line("x")})).empty()) << n << " bytes of garbage";
}

TEST(FrameReader, NextChunkRealignsWhateverCameBefore) {
  const Bytes click = Written(ClickToPlayer{7, 1, 2});
  const Bytes marker(kFrameMarkerBytes.begin(), kFrameMarkerBytes.end());
  const struct {
    const char* what;
    Bytes before;
    size_t held;               // kept for the next chunk
    std::vector<size_t> cuts;  // where the next frame is cut: a false start of a marker, then the real one in pieces
  } cases[] = {
      {"1001 bytes of garbage", Garbage(1001), 0, {}},
      {"1001 zero bytes: the last one may begin a marker", Bytes(1001, 0), 1, {2, 5}},
      {"a truncated frame", Bytes(click.begin(), click.end() - 3), click.size() - 3, {}},
      {"a line without its CR LF", Frame(MSG_CHAT, [](MessageWriter& w) { w.MString("no end"); }), 16, {}},
      {"an unhandled id and 5 bytes", Cat({Frame(777), Garbage(5)}), 0, {}},
      {"a marker cut after 3 bytes, never finished", Bytes(marker.begin(), marker.begin() + 3), 3, {2, 5}},
      {"a marker and half an id", Cat({marker, Bytes{3}}), 9, {}},
      {"garbage and five bytes of a marker", Cat({Garbage(8), Bytes(marker.begin(), marker.begin() + 5)}), 5, {6}},
  };
  for (const auto& c : cases) {
    Recorder rec;
    FrameReader reader;
    reader.Feed(c.before, rec.Handler());
    EXPECT_EQ(reader.Held(), c.held) << c.what;
    FeedCut(reader, rec, Line("next"), c.cuts);
    EXPECT_EQ(rec.seen, (Texts{Seen("next")})) << c.what;
    EXPECT_EQ(reader.Held(), 0u) << c.what;
    EXPECT_FALSE(reader.Broken()) << c.what;
  }
}

TEST(FrameReader, HostileInputBreaksTheConnectionForGood) {
  Recorder rec;
  FrameReader reader;
  EXPECT_FALSE(reader.Feed(Line(std::string(kMaxLineBytes + 1, 'x')), rec.Handler()));
  EXPECT_TRUE(reader.Broken());
  EXPECT_EQ(reader.Held(), 0u);
  EXPECT_FALSE(reader.Feed(Line("later"), rec.Handler()));
  EXPECT_TRUE(rec.seen.empty());
  EXPECT_EQ(ParseCut(Line(std::string(kMaxLineBytes - 2, 'x')), {}).size(), 1u);  // CR LF make the limit

  FrameReader early;  // an endless line is caught before it ends
  early.Feed(Frame(MSG_CHAT), rec.Handler());
  bool open = true;
  for (int i = 0; i < 5 && open; ++i) open = early.Feed(Bytes(1000, 'x'), rec.Handler());
  EXPECT_FALSE(open);

  FrameReader capped(1024);  // one incomplete frame may hold 1024 bytes, not one more
  const FrameHandler longLines = [](uint16_t id, FieldReader& r) {
    if (id != 9) return Parse::Unknown;
    r.ReadLine(1 << 20);
    return Parse::Done;
  };
  capped.Feed(Frame(9), longLines);
  int fed = 0;
  while (capped.Feed(Bytes(100, 'x'), longLines) && fed < 100) ++fed;
  EXPECT_EQ(fed, 10);

  FrameReader refused;
  int calls = 0;
  EXPECT_FALSE(refused.Feed(Cat({Frame(1), Frame(1)}), [&](uint16_t, FieldReader&) {
    ++calls;
    return Parse::Error;
  }));
  EXPECT_EQ(calls, 1);
  refused.Reset();
  EXPECT_FALSE(refused.Broken());
}

Texts FirstFrames(const std::vector<Bytes>& blocks, FirstFrameReader reader = FirstFrameReader()) {
  Recorder rec;
  for (const Bytes& b : blocks) reader.Feed(b, rec.Handler());
  return rec.seen;
}

TEST(FirstFrameReader, OneFramePerBlockAndBlocksWithoutAMarkerAreDropped) {
  EXPECT_EQ(FirstFrames({Cat({Line("a"), Line("b")}), Line("c")}), (Texts{Seen("a"), Seen("c")}));
  EXPECT_EQ(FirstFrames({Cat({Garbage(8), Line("a")}), Line("b")}), (Texts{Seen("b")}));
  EXPECT_EQ(FirstFrames({Cat({Garbage(3), Line("a")}), Line("b")}), (Texts{Seen("b")}));
  EXPECT_EQ(FirstFrames({Cat({Frame(777), Line("a")}), Line("b")}), (Texts{Seen("b")}));
  // What is held starts no frame with a block that has a marker of its own.
  EXPECT_EQ(FirstFrames({Garbage(3), Line("b")}), (Texts{Seen("b")}));
  const Bytes cut = Line("cut");
  EXPECT_EQ(FirstFrames({Bytes(cut.begin(), cut.end() - 2), Line("b")}), (Texts{Seen("b")}));
  // An incomplete first frame is continued by the next block, the rest of which is dropped.
  const Bytes a = Line("first"), s = Cat({a, Line("second")});
  for (size_t cut = 1; cut < s.size(); ++cut) {
    const auto at = s.begin() + std::ptrdiff_t(cut);
    EXPECT_EQ(FirstFrames({Bytes(s.begin(), at), Bytes(at, s.end())}),
              (cut == a.size() ? Texts{Seen("first"), Seen("second")} : Texts{Seen("first")}))
        << cut;
  }
  EXPECT_TRUE(FirstFrames({Line(std::string(kMaxLineBytes + 1, 'x')), Line("b")}).empty());
  EXPECT_TRUE(FirstFrames({Frame(MSG_CHAT), Bytes(900, 'x'), Bytes(900, 'x'), Line("b")}, FirstFrameReader(1000)).empty());
}

}  // namespace
}  // namespace bg
