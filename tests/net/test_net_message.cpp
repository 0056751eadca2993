#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "net/message.h"

namespace bg {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(std::span<const uint8_t> s) { return Bytes(s.begin(), s.end()); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Garbage(size_t n) { return Bytes(n, 0xAA); }

// The test protocol the recorder understands; every other id is not handled.
constexpr uint16_t kEmpty = 1;    // nothing
constexpr uint16_t kNumbers = 2;  // byte short int long float double
constexpr uint16_t kLine = 3;     // line
constexpr uint16_t kCounted = 4;  // short n, string of n bytes
constexpr uint16_t kMixed = 5;    // line int line
constexpr uint16_t kClick = 6;    // float byte byte

// Turns each complete frame into one text, so streams compare as lists.
struct Recorder {
  std::vector<std::string> seen;
  int calls = 0;

  Parse operator()(uint16_t id, FieldReader& r) {
    ++calls;
    std::string rec = std::to_string(id) + ":";
    switch (id) {
      case kEmpty:
        break;
      case kNumbers: {
        const uint8_t b = r.ReadByte();
        const uint16_t s = r.ReadShort();
        const int32_t i = r.ReadInt();
        const int64_t l = r.ReadLong();
        const float f = r.ReadFloat();
        const double d = r.ReadDouble();
        rec += std::to_string(b) + "," + std::to_string(s) + "," + std::to_string(i) + "," + std::to_string(l) + "," +
               std::to_string(std::bit_cast<uint32_t>(f)) + "," + std::to_string(std::bit_cast<uint64_t>(d));
        break;
      }
      case kLine:
        rec += r.ReadLine();
        break;
      case kCounted: {
        const uint16_t n = r.ReadShort();
        rec += r.ReadString(n);
        break;
      }
      case kMixed: {
        const std::string a = r.ReadLine();
        const int32_t i = r.ReadInt();
        const std::string b = r.ReadLine();
        rec += a + "|" + std::to_string(i) + "|" + b;
        break;
      }
      case kClick: {
        const float f = r.ReadFloat();
        const uint8_t m = r.ReadByte();
        const uint8_t p = r.ReadByte();
        rec += std::to_string(f) + "," + std::to_string(m) + "," + std::to_string(p);
        break;
      }
      default:
        return Parse::Unknown;
    }
    if (!r.Ok()) return Parse::NeedMore;
    seen.push_back(rec);
    return Parse::Done;
  }

  FrameHandler Handler() {
    return [this](uint16_t id, FieldReader& r) { return (*this)(id, r); };
  }
};

// Feeds the stream cut at the given ascending offsets.
std::vector<std::string> ParseCut(const Bytes& stream, const std::vector<size_t>& cuts, bool* broken = nullptr) {
  Recorder rec;
  FrameReader reader;
  const FrameHandler h = rec.Handler();
  size_t from = 0;
  for (size_t cut : cuts) {
    reader.Feed(std::span<const uint8_t>(stream).subspan(from, cut - from), h);
    from = cut;
  }
  reader.Feed(std::span<const uint8_t>(stream).subspan(from), h);
  if (broken != nullptr) *broken = reader.Broken();
  return rec.seen;
}

std::vector<std::string> ParseWhole(const Bytes& stream) { return ParseCut(stream, {}); }

Bytes Frame(uint16_t id, const std::function<void(MessageWriter&)>& fields = {}) {
  MessageWriter w;
  w.MNew(id);
  if (fields) fields(w);
  return ToBytes(w.Bytes());
}

Bytes LineFrame(const std::string& text) {
  return Frame(kLine, [&](MessageWriter& w) { w.MLine(text); });
}

// A few messages of every kind, with an unhandled id. Garbage is left out:
// bytes skipped at the end of a chunk are dropped, so garbage cut by a chunk
// boundary changes where the next chunk is scanned.
Bytes SampleStream() {
  return Cat({
      Frame(kEmpty),
      Frame(kNumbers,
            [](MessageWriter& w) {
              w.MByte(200);
              w.MShort(65535);
              w.MInt(-123456);
              w.MLong(-9000000000LL);
              w.MFloat(1.5f);
              w.MDouble(-2.25);
            }),
      LineFrame("hello"),
      LineFrame(""),
      Frame(kCounted,
            [](MessageWriter& w) {
              w.MShort(3);
              w.MString("abc");
            }),
      Frame(999),
      Frame(kMixed,
            [](MessageWriter& w) {
              w.MLine("caf\xC3\xA9");
              w.MInt(42);
              w.MLine("x");
            }),
      Frame(kClick,
            [](MessageWriter& w) {
              w.MFloat(3.0f);
              w.MByte(1);
              w.MByte(7);
            }),
  });
}

const std::vector<std::string> kSampleExpected = {
    "1:",
    "2:200,65535,-123456,-9000000000," + std::to_string(std::bit_cast<uint32_t>(1.5f)) + "," +
        std::to_string(std::bit_cast<uint64_t>(-2.25)),
    "3:hello",
    "3:",
    "4:abc",
    "5:caf\xC3\xA9|42|x",
    "6:" + std::to_string(3.0f) + ",1,7",
};

// ---- writer ----

TEST(MessageWriter, MarkerIsTheDouble68740LittleEndian) {
  const double marker = 68740.0;
  uint8_t bytes[8];
  const uint64_t bits = std::bit_cast<uint64_t>(marker);
  for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(bits >> (8 * i));
  EXPECT_EQ(Bytes(bytes, bytes + 8), Bytes(kFrameMarkerBytes.begin(), kFrameMarkerBytes.end()));
  EXPECT_EQ((Bytes{0x00, 0x00, 0x00, 0x00, 0x40, 0xC8, 0xF0, 0x40}),
            Bytes(kFrameMarkerBytes.begin(), kFrameMarkerBytes.end()));
  EXPECT_EQ(kFrameMarker, 68740.0);
}

TEST(MessageWriter, FieldLayout) {
  MessageWriter w;
  w.MNew(0x1234);
  w.MByte(0xAB);
  w.MShort(0xBEEF);
  w.MInt(-2);
  w.MLong(0x0102030405060708LL);
  w.MFloat(1.5f);
  w.MDouble(68740.0);
  w.MLine("abc");
  w.MLine("");
  w.MString("xy");
  const Bytes want = {0x00, 0x00, 0x00, 0x00, 0x40, 0xC8, 0xF0, 0x40,  // marker
                      0x34, 0x12,                                      // id
                      0xAB,                                            // byte
                      0xEF, 0xBE,                                      // short
                      0xFE, 0xFF, 0xFF, 0xFF,                          // int
                      0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // long
                      0x00, 0x00, 0xC0, 0x3F,                          // float
                      0x00, 0x00, 0x00, 0x00, 0x40, 0xC8, 0xF0, 0x40,  // double
                      'a',  'b',  'c',  13,   10,                      // line
                      13,   10,                                        // empty line
                      'x',  'y'};
  EXPECT_EQ(ToBytes(w.Bytes()), want);
}

TEST(MessageWriter, NewDoesNotClearAndClearDoes) {
  MessageWriter w;
  w.MNew(1);
  w.MNew(2);
  EXPECT_EQ(w.Size(), 2 * kFrameHeaderSize);
  EXPECT_EQ(ParseWhole(ToBytes(w.Bytes())), (std::vector<std::string>{"1:"}))
      << "id 2 is not handled by the recorder";
  w.MClear();
  EXPECT_TRUE(w.Empty());
}

TEST(MessageWriter, TextGoesOutAsLatin1) {
  MessageWriter w;
  w.MLine("\xC4\x8A");  // "Ċ" is above 255
  w.MLine("\xC3\xA9");  // "é" is 0xE9
  w.MString("\xC4\x8A\xC3\xA9");
  EXPECT_EQ(ToBytes(w.Bytes()), (Bytes{'?', 13, 10, 0xE9, 13, 10, '?', 0xE9}));
}

TEST(MessageWriter, LineBreaksInsideALineCannotShiftLaterFields) {
  MessageWriter w;
  w.MLine(std::string("a\nb\0c", 5));
  EXPECT_EQ(ToBytes(w.Bytes()), (Bytes{'a', '?', 'b', '?', 'c', 13, 10}));
}

// ---- field reader ----

TEST(FieldReader, RoundTripsEveryFieldType) {
  const std::vector<uint32_t> floatBits = {0x00000000, 0x80000000, 0x3FC00000, 0x7F800000, 0xFF800000,
                                           0x00000001, 0x7FC00001, 0x7F7FFFFF};
  const std::vector<uint64_t> doubleBits = {0, 0x8000000000000000ULL, 0x40F0C84000000000ULL, 0x7FF0000000000000ULL,
                                            0x0000000000000001ULL, 0x7FF8000000000123ULL, 0xFFEFFFFFFFFFFFFFULL};
  MessageWriter w;
  for (int b : {0, 1, 127, 128, 255}) w.MByte(uint8_t(b));
  for (int s : {0, 1, 0x7FFF, 0x8000, 0xFFFF}) w.MShort(uint16_t(s));
  for (int32_t i : {0, 1, -1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) w.MInt(i);
  for (int64_t l : {int64_t(0), int64_t(-1), std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()})
    w.MLong(l);
  for (uint32_t f : floatBits) w.MFloat(std::bit_cast<float>(f));
  for (uint64_t d : doubleBits) w.MDouble(std::bit_cast<double>(d));
  w.MLine("plain");
  w.MLine("");
  w.MLine("\xC3\xA9t\xC3\xA9 \xC3\xBF");
  w.MString("caf\xC3\xA9");
  const uint8_t raw[] = {0, 10, 13, 255};
  w.MBytes(raw);

  FieldReader r(w.Bytes());
  for (int b : {0, 1, 127, 128, 255}) EXPECT_EQ(r.ReadByte(), b);
  for (int s : {0, 1, 0x7FFF, 0x8000, 0xFFFF}) EXPECT_EQ(r.ReadShort(), s);
  for (int32_t i : {0, 1, -1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()})
    EXPECT_EQ(r.ReadInt(), i);
  for (int64_t l : {int64_t(0), int64_t(-1), std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()})
    EXPECT_EQ(r.ReadLong(), l);
  for (uint32_t f : floatBits) EXPECT_EQ(std::bit_cast<uint32_t>(r.ReadFloat()), f);
  for (uint64_t d : doubleBits) EXPECT_EQ(std::bit_cast<uint64_t>(r.ReadDouble()), d);
  EXPECT_EQ(r.ReadLine(), "plain");
  EXPECT_EQ(r.ReadLine(), "");
  EXPECT_EQ(r.ReadLine(), "\xC3\xA9t\xC3\xA9 \xC3\xBF");
  EXPECT_EQ(r.ReadString(4), "caf\xC3\xA9");
  EXPECT_EQ(r.ReadBytes(4), Bytes(raw, raw + 4));
  EXPECT_TRUE(r.Ok());
  EXPECT_EQ(r.Remaining(), 0u);
}

TEST(FieldReader, LineDropsCrAnywhereAndEndsAtLfOrNul) {
  const Bytes data = {'a', 13, 'b', 13, 13, 10, 'c', 0, 'd', 10, 10, 13, 13, 10};
  FieldReader r(data);
  EXPECT_EQ(r.ReadLine(), "ab");
  EXPECT_EQ(r.ReadLine(), "c");
  EXPECT_EQ(r.ReadLine(), "d");
  EXPECT_EQ(r.ReadLine(), "");
  EXPECT_EQ(r.ReadLine(), "");
  EXPECT_TRUE(r.Ok());
  EXPECT_EQ(r.Remaining(), 0u);
}

TEST(FieldReader, Latin1ByteReadsAsUtf8) {
  const Bytes data = {0xE9, 13, 10, 0xE9};
  FieldReader r(data);
  EXPECT_EQ(r.ReadLine(), "\xC3\xA9");
  EXPECT_EQ(r.ReadString(1), "\xC3\xA9");
}

TEST(FieldReader, ShortReadSetsStickyNeedMore) {
  const Bytes data = {1, 2, 3};
  FieldReader r(data);
  EXPECT_EQ(r.ReadInt(), 0);
  EXPECT_TRUE(r.NeedMore());
  EXPECT_FALSE(r.Failed());
  EXPECT_EQ(r.ReadByte(), 0) << "sticky: later reads must not pick up bytes out of place";
  EXPECT_EQ(r.ReadLine(), "");
  EXPECT_TRUE(r.ReadBytes(1).empty());
  EXPECT_EQ(r.Position(), 0u);
}

TEST(FieldReader, UnterminatedLineNeedsMore) {
  const Bytes data = {'a', 'b', 13};
  FieldReader r(data);
  EXPECT_EQ(r.ReadLine(), "");
  EXPECT_TRUE(r.NeedMore());
}

TEST(FieldReader, LineLimitIsExact) {
  Bytes ok(10, 'x');
  ok.push_back(10);
  FieldReader a(ok);
  EXPECT_EQ(a.ReadLine(10), std::string(10, 'x'));
  EXPECT_TRUE(a.Ok());

  Bytes tooLong(11, 'x');
  tooLong.push_back(10);
  FieldReader b(tooLong);
  EXPECT_EQ(b.ReadLine(10), "");
  EXPECT_TRUE(b.Failed());

  // Already past the limit with no end in sight: fails without waiting.
  const Bytes cut(11, 'x');
  FieldReader c(cut);
  c.ReadLine(10);
  EXPECT_TRUE(c.Failed());
  EXPECT_FALSE(c.NeedMore());
}

TEST(FieldReader, CountBeyondAnyFrameFails) {
  const Bytes data(16, 'x');
  FieldReader r(data, 100);
  r.ReadBytes(101);
  EXPECT_TRUE(r.Failed());
  FieldReader s(data, 100);
  s.ReadString(100);
  EXPECT_TRUE(s.NeedMore());
  EXPECT_FALSE(s.Failed());
}

// ---- frame reader: chunking ----

TEST(FrameReader, WholeSampleStream) { EXPECT_EQ(ParseWhole(SampleStream()), kSampleExpected); }

TEST(FrameReader, EverySingleSplitPointGivesTheSameMessages) {
  const Bytes s = SampleStream();
  for (size_t cut = 0; cut <= s.size(); ++cut) {
    bool broken = true;
    EXPECT_EQ(ParseCut(s, {cut}, &broken), kSampleExpected) << "cut at " << cut;
    EXPECT_FALSE(broken);
  }
}

TEST(FrameReader, EveryPairOfSplitPointsGivesTheSameMessages) {
  const Bytes s = SampleStream();
  for (size_t a = 0; a <= s.size(); ++a)
    for (size_t b = a; b <= s.size(); ++b) ASSERT_EQ(ParseCut(s, {a, b}), kSampleExpected) << "cuts " << a << "," << b;
}

TEST(FrameReader, OneByteAtATime) {
  const Bytes s = SampleStream();
  std::vector<size_t> cuts;
  for (size_t i = 1; i < s.size(); ++i) cuts.push_back(i);
  EXPECT_EQ(ParseCut(s, cuts), kSampleExpected);
}

TEST(FrameReader, MarkerCutAtEveryPosition) {
  const Bytes first = LineFrame("first");
  const Bytes s = Cat({first, LineFrame("second")});
  for (size_t k = 0; k <= kFrameHeaderSize; ++k) {
    Recorder rec;
    FrameReader reader;
    const FrameHandler h = rec.Handler();
    reader.Feed(std::span<const uint8_t>(s).first(first.size() + k), h);
    EXPECT_EQ(rec.seen, (std::vector<std::string>{"3:first"})) << k;
    EXPECT_EQ(reader.Held(), k) << "the cut marker must be kept";
    reader.Feed(std::span<const uint8_t>(s).subspan(first.size() + k), h);
    EXPECT_EQ(rec.seen, (std::vector<std::string>{"3:first", "3:second"})) << k;
    EXPECT_EQ(reader.Held(), 0u);
  }
}

TEST(FrameReader, IncompleteFrameIsRetriedAndHandledOnce) {
  const Bytes s = Frame(kMixed, [](MessageWriter& w) {
    w.MLine("name");
    w.MInt(7);
    w.MLine("tail");
  });
  Recorder rec;
  FrameReader reader;
  const FrameHandler h = rec.Handler();
  reader.Feed(std::span<const uint8_t>(s).first(s.size() - 1), h);
  EXPECT_TRUE(rec.seen.empty());
  EXPECT_EQ(reader.Held(), s.size() - 1);
  reader.Feed(std::span<const uint8_t>(s).last(1), h);
  EXPECT_EQ(rec.seen, (std::vector<std::string>{"5:name|7|tail"}));
  EXPECT_EQ(rec.calls, 2);
}

struct StreamCase {
  Bytes bytes;
  std::vector<std::string> expected;
};

// Random frames with random text and, if asked, unhandled ids and garbage,
// each kept in 8-byte steps from where the scan resumes so every frame is found.
StreamCase RandomStream(std::mt19937& rng, int frames, bool garbage) {
  StreamCase sc;
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto text = [&](int maxLen) {
    std::string latin;
    const int n = pick(0, maxLen);
    for (int i = 0; i < n; ++i) {
      int c = pick(1, 255);
      if (c == 10 || c == 13) c = 'z';
      latin.push_back(char(c));
    }
    return latin;
  };
  auto toUtf8 = [](const std::string& latin) {
    std::string out;
    for (unsigned char c : latin) {
      if (c < 0x80) {
        out.push_back(char(c));
      } else {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
      }
    }
    return out;
  };
  auto append = [&](const Bytes& b) { sc.bytes.insert(sc.bytes.end(), b.begin(), b.end()); };
  for (int i = 0; i < frames; ++i) {
    const int kind = pick(0, 6);
    switch (!garbage && (kind == 4 || kind == 5) ? 6 : kind) {
      case 0: {
        const std::string t = toUtf8(text(300));
        append(LineFrame(t));
        sc.expected.push_back("3:" + t);
        break;
      }
      case 1: {
        const std::string a = toUtf8(text(40)), b = toUtf8(text(40));
        const int32_t v = pick(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        append(Frame(kMixed, [&](MessageWriter& w) {
          w.MLine(a);
          w.MInt(v);
          w.MLine(b);
        }));
        sc.expected.push_back("5:" + a + "|" + std::to_string(v) + "|" + b);
        break;
      }
      case 2: {
        const std::string t = toUtf8(text(60));
        append(Frame(kCounted, [&](MessageWriter& w) {
          MessageWriter probe;
          probe.MString(t);
          w.MShort(uint16_t(probe.Size()));
          w.MString(t);
        }));
        sc.expected.push_back("4:" + t);
        break;
      }
      case 3: {
        const float f = float(pick(0, 10000));
        const uint8_t m = uint8_t(pick(0, 255)), p = uint8_t(pick(0, 255));
        append(Frame(kClick, [&](MessageWriter& w) {
          w.MFloat(f);
          w.MByte(m);
          w.MByte(p);
        }));
        sc.expected.push_back("6:" + std::to_string(f) + "," + std::to_string(m) + "," + std::to_string(p));
        break;
      }
      case 4:
        append(Garbage(8 * size_t(pick(1, 4))));
        break;
      case 5: {
        // Unhandled: the scan resumes after the id, so 8k payload bytes keep it aligned.
        Bytes f = Frame(uint16_t(pick(200, 60000)));
        const Bytes pad = Garbage(8 * size_t(pick(0, 3)));
        f.insert(f.end(), pad.begin(), pad.end());
        append(f);
        break;
      }
      default:
        append(Frame(kEmpty));
        sc.expected.push_back("1:");
        break;
    }
  }
  return sc;
}

TEST(FrameReader, RandomChunkingManySeeds) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed=" + std::to_string(seed));
    std::mt19937 rng(seed);
    const StreamCase whole = RandomStream(rng, 120, true);
    ASSERT_EQ(ParseWhole(whole.bytes), whole.expected);
    const StreamCase sc = RandomStream(rng, 120, false);
    std::vector<size_t> cuts;
    const int maxChunk = std::uniform_int_distribution<int>(1, 200)(rng);
    for (size_t at = 0;;) {
      at += size_t(std::uniform_int_distribution<int>(1, maxChunk)(rng));
      if (at >= sc.bytes.size()) break;
      cuts.push_back(at);
    }
    bool broken = true;
    ASSERT_EQ(ParseCut(sc.bytes, cuts, &broken), sc.expected);
    ASSERT_FALSE(broken);
  }
}

// ---- frame reader: the 8-byte resynchronisation ----

TEST(FrameReader, EightBytesOfGarbageThenAFrameIsFound) {
  EXPECT_EQ(ParseWhole(Cat({Garbage(8), LineFrame("x")})), (std::vector<std::string>{"3:x"}));
  EXPECT_EQ(ParseWhole(Cat({Garbage(16), LineFrame("x")})), (std::vector<std::string>{"3:x"}));
  // Most of a marker is still garbage when the 8 bytes are not all of it.
  const Bytes nearMarker = {0x00, 0x00, 0x00, 0x00, 0x40, 0xC8, 0xF0, 0x41};
  EXPECT_EQ(ParseWhole(Cat({nearMarker, LineFrame("x")})), (std::vector<std::string>{"3:x"}));
}

TEST(FrameReader, MisalignedFrameIsMissedByTheEightByteScan) {
  // The scan looks at offsets 0, 8, 16 ...: a marker at offset 3 is never seen.
  Recorder rec;
  FrameReader reader;
  const Bytes s = Cat({Garbage(3), LineFrame("x")});  // 3 + 13 bytes
  reader.Feed(s, rec.Handler());
  EXPECT_TRUE(rec.seen.empty());
  EXPECT_FALSE(reader.Broken());
  EXPECT_EQ(reader.Held(), 0u) << "two whole 8-byte steps were looked at and dropped";

  for (size_t n = 1; n < 8; ++n) EXPECT_TRUE(ParseWhole(Cat({Garbage(n), LineFrame("x")})).empty()) << n;
}

TEST(FrameReader, MisalignmentEndsWhenAFrameRestoresTheStep) {
  // 3 garbage + a 13-byte frame puts the next frame at offset 16, which the scan sees.
  const Bytes s13 = Cat({Garbage(3), LineFrame("ab"), LineFrame("found")});
  ASSERT_EQ(LineFrame("ab").size(), 14u);
  EXPECT_TRUE(ParseWhole(s13).empty()) << "3 + 14 = 17: still misaligned";
  const Bytes s16 = Cat({Garbage(3), LineFrame("a"), LineFrame("found")});
  EXPECT_EQ(ParseWhole(s16), (std::vector<std::string>{"3:found"})) << "3 + 13 = 16: aligned again";
}

TEST(FrameReader, UnhandledIdConsumesNothingAfterTheId) {
  // The scan resumes right after the unhandled id, in 8-byte steps.
  const Bytes unknown = Frame(777);
  EXPECT_EQ(ParseWhole(Cat({unknown, LineFrame("next")})), (std::vector<std::string>{"3:next"}));
  EXPECT_EQ(ParseWhole(Cat({unknown, Garbage(8), LineFrame("next")})), (std::vector<std::string>{"3:next"}));
  EXPECT_TRUE(ParseWhole(Cat({unknown, Garbage(6), LineFrame("next")})).empty());
}

TEST(FrameReader, NextChunkRealignsWhateverCameBefore) {
  const Bytes click = Frame(kClick, [](MessageWriter& w) {
    w.MFloat(3.0f);
    w.MByte(1);
    w.MByte(7);
  });
  const Bytes marker(kFrameMarkerBytes.begin(), kFrameMarkerBytes.end());
  struct Case {
    const char* what;
    Bytes before;
    size_t held;  // kept for the next chunk
  };
  const std::vector<Case> cases = {
      {"1001 bytes of garbage", Garbage(1001), 0},
      {"1001 zero bytes: the last one may begin a marker", Bytes(1001, 0), 1},
      {"a truncated frame", Bytes(click.begin(), click.end() - 3), click.size() - 3},
      {"a line without its CR LF", Frame(kLine, [](MessageWriter& w) { w.MString("no end"); }), 16},
      {"an unhandled id and 5 bytes", Cat({Frame(777), Garbage(5)}), 0},
      {"a marker cut after 3 bytes, never finished", Bytes(marker.begin(), marker.begin() + 3), 3},
      {"a marker and half an id", Cat({marker, Bytes{3}}), 9},
  };
  for (const Case& c : cases) {
    Recorder rec;
    FrameReader reader;
    reader.Feed(c.before, rec.Handler());
    EXPECT_EQ(reader.Held(), c.held) << c.what;
    reader.Feed(LineFrame("next"), rec.Handler());
    EXPECT_EQ(rec.seen, (std::vector<std::string>{"3:next"})) << c.what;
    EXPECT_EQ(reader.Held(), 0u) << c.what;
    EXPECT_FALSE(reader.Broken()) << c.what;
  }
}

// ---- frame reader: hostile input ----

TEST(FrameReader, OversizedLineBreaksTheConnection) {
  Recorder rec;
  FrameReader reader;
  const FrameHandler h = rec.Handler();
  const Bytes s = LineFrame(std::string(kMaxLineBytes + 1, 'x'));
  EXPECT_FALSE(reader.Feed(s, h));
  EXPECT_TRUE(reader.Broken());
  EXPECT_EQ(reader.Held(), 0u);
  EXPECT_FALSE(reader.Feed(LineFrame("later"), h)) << "broken for good";
  EXPECT_TRUE(rec.seen.empty());

  FrameReader fine;
  EXPECT_TRUE(fine.Feed(LineFrame(std::string(kMaxLineBytes - 2, 'x')), rec.Handler()));
  EXPECT_EQ(rec.seen.size(), 1u);
}

TEST(FrameReader, OversizedLineIsCaughtBeforeItEnds) {
  Recorder rec;
  FrameReader reader;
  const FrameHandler h = rec.Handler();
  EXPECT_TRUE(reader.Feed(Frame(kLine), h));
  const Bytes chunk(1000, 'x');
  bool ok = true;
  for (int i = 0; i < 5 && ok; ++i) ok = reader.Feed(chunk, h);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(reader.Broken());
}

TEST(FrameReader, HeldIncompleteFrameIsCapped) {
  FrameReader reader(1024);
  const FrameHandler h = [&](uint16_t id, FieldReader& r) {
    if (id != 9) return Parse::Unknown;
    r.ReadLine(1 << 20);  // the line limit alone would allow it
    return r.Ok() ? Parse::Done : Parse::NeedMore;
  };
  EXPECT_TRUE(reader.Feed(Frame(9), h));
  const Bytes chunk(100, 'x');
  int fed = 0;
  while (reader.Feed(chunk, h) && fed < 100) ++fed;
  EXPECT_TRUE(reader.Broken());
  EXPECT_EQ(fed, 10) << "1024 held bytes are allowed, one more is not";
}

TEST(FrameReader, BatchOfManySmallFramesIsNotCapped) {
  // A late joiner's click log: 100,000 frames of 16 bytes in one batch.
  MessageWriter w;
  for (int i = 0; i < 100000; ++i) {
    w.MNew(kClick);
    w.MFloat(float(i));
    w.MByte(uint8_t(i));
    w.MByte(uint8_t(i >> 8));
  }
  ASSERT_EQ(w.Size(), 1600000u);
  const Bytes s = ToBytes(w.Bytes());
  bool broken = true;
  EXPECT_EQ(ParseCut(s, {}, &broken).size(), 100000u);
  EXPECT_FALSE(broken);
  std::vector<size_t> cuts;
  for (size_t at = 4001; at < s.size(); at += 4001) cuts.push_back(at);
  EXPECT_EQ(ParseCut(s, cuts, &broken).size(), 100000u);
  EXPECT_FALSE(broken);
}

TEST(FrameReader, HandlerErrorBreaksTheConnection) {
  FrameReader reader;
  int calls = 0;
  const FrameHandler h = [&](uint16_t, FieldReader&) {
    ++calls;
    return Parse::Error;
  };
  EXPECT_FALSE(reader.Feed(Cat({Frame(1), Frame(1)}), h));
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(reader.Broken());
  reader.Reset();
  EXPECT_FALSE(reader.Broken());
  EXPECT_EQ(reader.Held(), 0u);
}

TEST(FrameReader, RandomBytesNeverCrash) {
  for (uint32_t seed = 1; seed <= 50; ++seed) {
    SCOPED_TRACE("seed=" + std::to_string(seed));
    std::mt19937 rng(seed);
    Bytes s(20000);
    for (auto& b : s) b = uint8_t(rng());
    // Sprinkle aligned markers so frames with random fields get parsed.
    for (size_t at = 0; at + 8 <= s.size(); at += 8 * (1 + rng() % 16))
      std::copy(kFrameMarkerBytes.begin(), kFrameMarkerBytes.end(), s.begin() + std::ptrdiff_t(at));
    Recorder rec;
    FrameReader reader;
    const FrameHandler h = [&](uint16_t id, FieldReader& r) { return rec(uint16_t(1 + id % 6), r); };
    for (size_t at = 0; at < s.size();) {
      const size_t n = std::min(s.size() - at, size_t(1 + rng() % 300));
      reader.Feed(std::span<const uint8_t>(s).subspan(at, n), h);
      at += n;
      ASSERT_LE(reader.Held(), kMaxHeldFrameBytes);
    }
  }
}

TEST(FrameReader, FeedFromInsideAHandlerIsQueued) {
  Recorder rec;
  FrameReader reader;
  const Bytes inner = LineFrame("inner");
  FrameHandler h;
  h = [&](uint16_t id, FieldReader& r) {
    const Parse p = rec(id, r);
    if (rec.seen.size() == 1 && p == Parse::Done) reader.Feed(inner, h);
    return p;
  };
  reader.Feed(Cat({LineFrame("outer"), LineFrame("after")}), h);
  EXPECT_EQ(rec.seen, (std::vector<std::string>{"3:outer", "3:after", "3:inner"}));
}

// ---- list-server reader ----

std::vector<std::string> FirstFramesOf(const std::vector<Bytes>& blocks) {
  Recorder rec;
  FirstFrameReader reader;
  for (const Bytes& b : blocks) reader.Feed(b, rec.Handler());
  return rec.seen;
}

TEST(FirstFrameReader, OnlyTheFirstFrameOfABlockCounts) {
  EXPECT_EQ(FirstFramesOf({Cat({LineFrame("a"), LineFrame("b")}), LineFrame("c")}),
            (std::vector<std::string>{"3:a", "3:c"}));
}

TEST(FirstFrameReader, BlockNotStartingWithTheMarkerIsDroppedWhole) {
  EXPECT_EQ(FirstFramesOf({Cat({Garbage(8), LineFrame("a")}), LineFrame("b")}), (std::vector<std::string>{"3:b"}));
  EXPECT_EQ(FirstFramesOf({Cat({Garbage(3), LineFrame("a")}), LineFrame("b")}), (std::vector<std::string>{"3:b"}));
  // What is held starts no frame with a block that has a marker of its own.
  EXPECT_EQ(FirstFramesOf({Garbage(3), LineFrame("b")}), (std::vector<std::string>{"3:b"}));
  const Bytes cut = LineFrame("cut");
  EXPECT_EQ(FirstFramesOf({Bytes(cut.begin(), cut.end() - 2), LineFrame("b")}), (std::vector<std::string>{"3:b"}));
}

TEST(FirstFrameReader, IncompleteFirstFrameIsKeptUntilComplete) {
  const Bytes a = LineFrame("first");
  const Bytes s = Cat({a, LineFrame("second")});
  for (size_t cut = 1; cut < s.size(); ++cut) {
    const std::vector<std::string> got =
        FirstFramesOf({Bytes(s.begin(), s.begin() + std::ptrdiff_t(cut)), Bytes(s.begin() + std::ptrdiff_t(cut), s.end())});
    if (cut == a.size()) {
      // Two blocks, each starting with a frame.
      EXPECT_EQ(got, (std::vector<std::string>{"3:first", "3:second"})) << cut;
    } else {
      // Either the first block completes "first" and drops the rest, or the
      // second block completes it; the rest of "second" starts no block.
      EXPECT_EQ(got, (std::vector<std::string>{"3:first"})) << cut;
    }
  }
}

TEST(FirstFrameReader, UnhandledFirstFrameDropsTheBlock) {
  EXPECT_EQ(FirstFramesOf({Cat({Frame(777), LineFrame("a")}), LineFrame("b")}), (std::vector<std::string>{"3:b"}));
}

TEST(FirstFrameReader, OversizedFrameBreaks) {
  Recorder rec;
  FirstFrameReader reader(1000);
  const FrameHandler h = [&](uint16_t, FieldReader& r) {
    r.ReadLine(1 << 20);
    return Parse::Done;
  };
  EXPECT_TRUE(reader.Feed(Frame(3), h));
  EXPECT_TRUE(reader.Feed(Bytes(900, 'x'), h));
  EXPECT_FALSE(reader.Feed(Bytes(900, 'x'), h));
  EXPECT_TRUE(reader.Broken());

  FirstFrameReader lines;
  EXPECT_FALSE(lines.Feed(LineFrame(std::string(kMaxLineBytes + 1, 'x')), rec.Handler()));
}

}  // namespace
}  // namespace bg
