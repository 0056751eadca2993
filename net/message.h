#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The message codec shared with every other copy of the game.
//
// A frame is: the marker (the double 68740.0, little-endian), the message id
// (u16), then the fields the id prescribes. There is no length field, so a
// receiver only knows where a frame ends by parsing it; an id it does not
// handle ends at the id, and the bytes after it are passed over by the marker
// scan, which looks for the marker in steps of 8 bytes.
//
// Fields, all little-endian: byte, short (u16), int (i32), long (i64),
// float, double, line (one byte per character, then CR LF; CR is dropped on
// reading, LF or NUL ends it) and string (one byte per character, no
// terminator; the reader knows the count from an earlier field).
// In memory, text is UTF-8; on the wire it is Latin-1.
//
// Everything here is pure: no sockets, no clocks, no globals.
namespace bg {

inline constexpr double kFrameMarker = 68740.0;
inline constexpr std::array<uint8_t, 8> kFrameMarkerBytes{0x00, 0x00, 0x00, 0x00, 0x40, 0xC8, 0xF0, 0x40};
inline constexpr size_t kFrameMarkerSize = 8;
inline constexpr size_t kFrameHeaderSize = kFrameMarkerSize + 2;

// Far longer than any name or chat line; a longer line is hostile.
inline constexpr size_t kMaxLineBytes = 4096;
// The longest text a line may carry: the reader's limit counts the CR too.
inline constexpr size_t kMaxLineChars = kMaxLineBytes - 1;
// Caps on what the game writes, so that every reader accepts it (text counts
// characters, one byte each on the wire). A player's name: what the name field
// takes, what a host keeps of a joiner's request, what the list server lists.
inline constexpr size_t kMaxNameChars = 32;
// A host tells equal names apart by appending 1 to 254 (at most 255 players).
inline constexpr size_t kMaxNameSuffixChars = 3;
// A chat line as typed: with the longest name and ": " in front it is still one line.
inline constexpr size_t kMaxChatChars = kMaxLineChars - kMaxNameChars - kMaxNameSuffixChars - 2;
// One incomplete frame held by a game connection. The largest frame is one
// line plus a few numbers; batches of many small frames are not limited.
inline constexpr size_t kMaxHeldFrameBytes = 64 * 1024;
// The list-server reply is one frame holding every listed game.
inline constexpr size_t kMaxHeldListFrameBytes = 1024 * 1024;

// The list server's messages, one table for both ends.
// Hello: byte kind; an announcement then carries line name, int port.
inline constexpr uint16_t kMsgHello = 100;
inline constexpr uint8_t kKindAnnounce = 1;
inline constexpr uint8_t kKindIntroduce = 2;
inline constexpr uint16_t kMsgListRequest = 101;
// The list: short count, then per game line ip, int port, short, line name.
inline constexpr uint16_t kMsgList = 102;
// The relay extension. A list server that relays says so unasked with 111,
// behind its first 102 in the same send; a game that reads only a block's
// first frame, or skips ids it does not know, never sees it. A game sends no
// relay message before it has seen 111: a list server that says nothing gets
// only the described messages.
// 111, list server -> game: byte version.
// 110, game -> list server, once welcomed: byte version, byte flags (kRelayAsk:
//      list it through the relay). Sent behind every announcement, and at once
//      when the welcome comes after one.
// 112, list server -> host: kRelayTokenBytes bytes of token, int port. A player
//      waits on the relay: connect to that port at the list server's address.
// 113, host -> list server, the first frame of that new connection: the token.
//      Every byte after it is the player's, both ways.
inline constexpr uint16_t kMsgRelayHello = 110;
inline constexpr uint16_t kMsgRelayWelcome = 111;
inline constexpr uint16_t kMsgRelayCall = 112;
inline constexpr uint16_t kMsgRelayAnswer = 113;
inline constexpr uint8_t kRelayVersion = 1;
inline constexpr uint8_t kRelayAsk = 1;
inline constexpr size_t kRelayTokenBytes = 16;

// Builds outgoing frames. Several frames may be built back to back and sent
// together; nothing is cleared until MClear.
class MessageWriter {
 public:
  // Starts a frame: marker and id. Fields follow with the calls below.
  void MNew(uint16_t id);
  void MByte(uint8_t v);
  void MShort(uint16_t v);
  void MInt(int32_t v);
  void MLong(int64_t v);
  void MFloat(float v);
  void MDouble(double v);
  // UTF-8 text as Latin-1 ('?' above 255) then CR LF. An LF or NUL inside
  // the text goes out as '?': it would end the line early on the far side
  // and shift every later field.
  void MLine(std::string_view text);
  // UTF-8 text as Latin-1 ('?' above 255), no terminator. The reader needs
  // the count of bytes written: Utf8ToLatin1(text).size().
  void MString(std::string_view text);
  // Raw bytes, unchanged.
  void MBytes(std::span<const uint8_t> bytes);

  std::span<const uint8_t> Bytes() const { return buf_; }
  size_t Size() const { return buf_.size(); }
  bool Empty() const { return buf_.empty(); }
  void MClear() { buf_.clear(); }

 private:
  void Put(const void* p, size_t n);
  std::vector<uint8_t> buf_;
};

// A bounded cursor over the bytes after a frame's id. A read past the end of
// the bytes received so far sets the sticky NeedMore flag; a hostile field
// (a line over its limit, a count no frame can hold) sets the sticky Failed
// flag. Once either is set, every read returns zero or an empty string.
class FieldReader {
 public:
  // maxField bounds ReadBytes/ReadString counts: a larger count could never
  // complete within the held-frame cap, so it fails at once.
  explicit FieldReader(std::span<const uint8_t> data, size_t maxField = kMaxHeldFrameBytes);

  uint8_t ReadByte();
  uint16_t ReadShort();
  int32_t ReadInt();
  int64_t ReadLong();
  float ReadFloat();
  double ReadDouble();
  // UTF-8 text of a line. At most maxBytes bytes (CR included) may come
  // before the LF or NUL that ends it; more fails, without waiting for them.
  std::string ReadLine(size_t maxBytes = kMaxLineBytes);
  // n wire bytes as UTF-8 text.
  std::string ReadString(size_t n);
  // n raw bytes.
  std::vector<uint8_t> ReadBytes(size_t n);

  bool NeedMore() const { return needMore_; }
  bool Failed() const { return failed_; }
  // Every field read so far is complete and sane; act on them only then.
  bool Ok() const { return !needMore_ && !failed_; }
  // Bytes consumed so far.
  size_t Position() const { return pos_; }
  size_t Remaining() const { return data_.size() - pos_; }

 private:
  bool Take(void* out, size_t n);
  std::span<const uint8_t> data_;
  size_t maxField_;
  size_t pos_ = 0;
  bool needMore_ = false;
  bool failed_ = false;
};

// What a frame handler tells the reader.
enum class Parse {
  Done,      // the frame's fields were read and handled
  Unknown,   // id not handled: the frame ends at its id
  NeedMore,  // fields were cut short: keep the frame and retry it later
  Error,     // hostile frame: the connection is broken
};

// Called once per frame with its id and a cursor over the bytes after the id.
// The frame may be incomplete: read every field first, and act on them only
// if r.Ok(); otherwise return (any value) and the reader keeps the frame and
// calls again with the same frame when more bytes arrive. The reader checks
// the cursor's flags itself, so NeedMore and Failed win over the returned
// value. Chunks a handler feeds to the FrameReader that called it are read
// after the current chunk; a FirstFrameReader drops them (the rest of a block).
using FrameHandler = std::function<Parse(uint16_t id, FieldReader& r)>;

// Incremental reader of a game connection's byte stream, fed with chunks
// split anywhere (even inside the marker).
//
// Scan rule: from the start of a chunk, or from the end of the last complete
// frame (or of an unhandled id), look at the next 8 bytes; if they are not
// the marker, drop them and look at the next 8. Within a chunk garbage
// realigns only in steps of 8 bytes, as every other copy of the game does:
// after 8 bytes of garbage the next frame is found, after 3 it is missed.
// Between chunks only what can still start or finish a frame is kept: fewer
// than 8 bytes that begin the marker (from any chunk's start), or a frame whose marker has been read
// and whose fields have not all arrived. So a stream misaligned by garbage, a
// truncated frame or an unhandled id realigns at the next chunk. A kept frame
// is dropped when the next chunk starts with a marker of its own: its sender
// cut it short (no message of the game continues with the marker's bytes).
class FrameReader {
 public:
  explicit FrameReader(size_t maxHeld = kMaxHeldFrameBytes) : maxHeld_(maxHeld) {}

  // Appends the chunk and calls the handler for every complete frame in
  // order. Returns false once broken.
  bool Feed(std::span<const uint8_t> chunk, const FrameHandler& handler);

  bool Broken() const { return broken_; }
  // Bytes kept for the next feed.
  size_t Held() const { return buf_.size(); }
  // Bytes dropped so far: passed over by the marker scan, or kept and then
  // found to start no frame. Zero for a stream of whole frames.
  size_t Skipped() const { return skipped_; }
  // Forgets held bytes and the broken state, for a new connection.
  void Reset();

 private:
  // fresh: where the newest chunk starts in buf_.
  void Process(const FrameHandler& handler, size_t fresh);
  std::vector<uint8_t> buf_;
  std::vector<uint8_t> pending_;  // chunks fed from inside a handler
  uint8_t heldStarts_ = 0;  // bit k: a chunk started k bytes into held bytes shorter than a marker
  size_t maxHeld_;
  size_t skipped_ = 0;
  bool broken_ = false;
  bool busy_ = false;
};

// Reader for the list-server connection, which the game reads one block at a
// time: only the first frame of each block counts and the rest of the block
// is dropped; a block whose first 8 bytes are not the marker is dropped
// whole. A first frame that is still incomplete is kept (as are fewer than 8
// bytes that begin the marker), and the next chunk continues it as the same
// block, unless that chunk starts with a marker: then it is a block of its own.
class FirstFrameReader {
 public:
  explicit FirstFrameReader(size_t maxHeld = kMaxHeldListFrameBytes) : maxHeld_(maxHeld) {}

  bool Feed(std::span<const uint8_t> block, const FrameHandler& handler);

  bool Broken() const { return broken_; }
  size_t Held() const { return buf_.size(); }
  void Reset();

 private:
  std::vector<uint8_t> buf_;
  size_t maxHeld_;
  bool broken_ = false;
  bool busy_ = false;
};

}  // namespace bg
