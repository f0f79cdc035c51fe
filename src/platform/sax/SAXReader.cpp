#include "platform/sax/SAXReader.h"

// The library is built with DTD support (which the amplification limits belong to); its public
// header declares them only when told so.
#include <expat_config.h>
#include <expat.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace vela {

namespace {

std::string ParseErrorMessage(const std::string& SourceName, int Line, int Column,
                              const std::string& Reason) {
  std::string m;
  if (!SourceName.empty()) m = SourceName + ":";
  return m + std::to_string(Line) + ":" + std::to_string(Column) + ": " + Reason;
}

// One parse: the expat parser and what the callbacks need to hand events on or stop.
class TParse {
 public:
  TParse(TSAXContentHandler& Handler, std::string_view SourceName)
      : FHandler(Handler), FSourceName(SourceName), FParser(XML_ParserCreate(nullptr)) {
    if (!FParser) throw std::bad_alloc();
    XML_SetUserData(FParser, this);
    XML_SetElementHandler(FParser, &StartEl, &EndEl);
    XML_SetCharacterDataHandler(FParser, &Chars);
    XML_SetEntityDeclHandler(FParser, &EntityDecl);
#if defined(XML_DTD) && \
    (XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 4))
    // A second guard behind the refused entity declarations: no document may expand by more
    // than 100 times its size once past 1 MiB of output.
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(FParser, 100.0f);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(FParser, 1024 * 1024);
#endif
  }
  ~TParse() {
    XML_ParserFree(FParser);
  }
  TParse(const TParse&) = delete;
  TParse& operator=(const TParse&) = delete;

  // Parses one block (Final for the last, possibly empty one). Returns false when the handler
  // asked to stop; raises the handler's exception or the parse error.
  bool Feed(int Length, bool Final) {
    XML_Status st = XML_ParseBuffer(FParser, Length, Final);
    if (FError) std::rethrow_exception(FError);
    if (FHandler.StopRequested()) return false;
    if (st == XML_STATUS_ERROR) {
      if (FReason.empty()) {
        FLine = static_cast<int>(XML_GetCurrentLineNumber(FParser));
        FColumn = static_cast<int>(XML_GetCurrentColumnNumber(FParser)) + 1;
        FReason = XML_ErrorString(XML_GetErrorCode(FParser));
      }
      throw ESAXParseError(FSourceName, FLine, FColumn, FReason);
    }
    return true;
  }

  void* Buffer(size_t Size) {
    void* buf = XML_GetBuffer(FParser, static_cast<int>(Size));
    if (!buf) throw std::bad_alloc();
    return buf;
  }

 private:
  // Calls into the handler unless the parse is already ending; an exception or a stop request
  // aborts expat after the event.
  template <class F>
  static void Deliver(void* UserData, F&& Event) {
    auto* self = static_cast<TParse*>(UserData);
    if (self->FError || self->FHandler.StopRequested() || !self->FReason.empty()) return;
    try {
      Event(self->FHandler);
    } catch (...) {
      self->FError = std::current_exception();
    }
    if (self->FError || self->FHandler.StopRequested()) XML_StopParser(self->FParser, XML_FALSE);
  }

  static void StartEl(void* ud, const XML_Char* Name, const XML_Char** Atts) {
    Deliver(ud, [&](TSAXContentHandler& h) { h.StartElement(Name, TSAXAttributes(Atts)); });
  }
  static void EndEl(void* ud, const XML_Char* Name) {
    Deliver(ud, [&](TSAXContentHandler& h) { h.EndElement(Name); });
  }
  static void Chars(void* ud, const XML_Char* Text, int Len) {
    Deliver(ud, [&](TSAXContentHandler& h) {
      h.Characters(std::string_view(Text, static_cast<size_t>(Len)));
    });
  }
  // Entity declarations are refused: documents we exchange never need them, and refusing them
  // keeps entity expansion out of reach.
  static void EntityDecl(void* ud, const XML_Char* Name, int, const XML_Char*, int, const XML_Char*,
                         const XML_Char*, const XML_Char*, const XML_Char*) {
    auto* self = static_cast<TParse*>(ud);
    if (!self->FReason.empty()) return;
    self->FLine = static_cast<int>(XML_GetCurrentLineNumber(self->FParser));
    self->FColumn = static_cast<int>(XML_GetCurrentColumnNumber(self->FParser)) + 1;
    self->FReason = std::string("entity declarations are not allowed (entity '") + Name + "')";
    XML_StopParser(self->FParser, XML_FALSE);
  }

  TSAXContentHandler& FHandler;
  std::string FSourceName;
  XML_Parser FParser;
  std::exception_ptr FError;
  // A refusal of our own, reported instead of expat's "parsing aborted".
  std::string FReason;
  int FLine = 0;
  int FColumn = 0;
};

// --- Read-ahead: events recorded on a worker thread, replayed on the caller's ---------------

// A run of recorded events. Records: a kind byte, then for a start element the name, the
// attribute count and each name and value; for an end element the name; for character data the
// text. Texts are a 32-bit length (native order), the bytes and a NUL, so that the replay hands
// out views and C strings into the block without copying. The buffer keeps its size when a
// block is recycled, so that recording allocates only while the first blocks grow.
struct TEventBlock {
  std::vector<char> Buffer;
  size_t Used = 0;

  // Room for ABytes more at the end; the caller writes them and advances Used.
  char* Room(size_t ABytes) {
    if (Used + ABytes > Buffer.size()) Buffer.resize(std::max(2 * Buffer.size(), Used + ABytes));
    return Buffer.data() + Used;
  }
};

enum : char { kStart = 'S', kEnd = 'E', kChars = 'C' };

// The blocks between the worker and the caller: at most kDepth filled ones wait, so the worker
// stays a bounded distance ahead and memory stays flat (some 3 MiB in all).
class TEventQueue {
 public:
  static constexpr size_t kDepth = 3;

  std::unique_ptr<TEventBlock> TakeFree() {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FFree.empty()) return std::make_unique<TEventBlock>();
    std::unique_ptr<TEventBlock> b = std::move(FFree.back());
    FFree.pop_back();
    return b;
  }
  void Recycle(std::unique_ptr<TEventBlock> ABlock) {
    ABlock->Used = 0;
    std::lock_guard<std::mutex> lock(FMutex);
    FFree.push_back(std::move(ABlock));
  }
  // Worker: hands a block over; false when the caller has cancelled (the block is dropped).
  bool Push(std::unique_ptr<TEventBlock> ABlock) {
    std::unique_lock<std::mutex> lock(FMutex);
    FChanged.wait(lock, [this] { return FCancelled || FFull.size() < kDepth; });
    if (FCancelled) return false;
    FFull.push_back(std::move(ABlock));
    FChanged.notify_all();
    return true;
  }
  // Worker: it has ended, after the blocks handed over, with this failure if any (a parse or
  // read error). Takes nothing that could fail.
  void Finish(std::exception_ptr AError) noexcept {
    std::lock_guard<std::mutex> lock(FMutex);
    FFinished = true;
    FError = std::move(AError);
    FChanged.notify_all();
  }
  // Caller: the next block, waiting for the worker; nullptr after the last one, then raises the
  // worker's failure if it had one.
  std::unique_ptr<TEventBlock> Pop() {
    std::unique_lock<std::mutex> lock(FMutex);
    FChanged.wait(lock, [this] { return !FFull.empty() || FFinished; });
    if (FFull.empty()) {
      if (FError) std::rethrow_exception(FError);
      return nullptr;
    }
    std::unique_ptr<TEventBlock> b = std::move(FFull.front());
    FFull.pop_front();
    FChanged.notify_all();
    return b;
  }
  void Cancel() {
    std::lock_guard<std::mutex> lock(FMutex);
    FCancelled = true;
    FChanged.notify_all();
  }

 private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::deque<std::unique_ptr<TEventBlock>> FFull;
  std::vector<std::unique_ptr<TEventBlock>> FFree;
  bool FCancelled = false;
  bool FFinished = false;
  std::exception_ptr FError;
};

// The worker's handler: records the events into blocks and hands full ones over.
class TEventRecorder : public TSAXContentHandler {
 public:
  // Large blocks: every hand-over may put the caller's thread to sleep and wake it, which costs
  // more than the events of a small block.
  static constexpr size_t kBlockBytes = 512 * 1024;

  explicit TEventRecorder(TEventQueue& AQueue) : FQueue(AQueue) { NewBlock(); }

  void StartElement(std::string_view Name, const TSAXAttributes& Atts) override {
    size_t bytes = 1 + TextBytes(Name) + sizeof(uint32_t);
    FAtts.clear();
    for (size_t i = 0, n = Atts.Count(); i < n; ++i) {
      FAtts.emplace_back(Atts.Name(i));
      FAtts.emplace_back(Atts.Value(i));
      bytes += TextBytes(FAtts[FAtts.size() - 2]) + TextBytes(FAtts.back());
    }
    char* p = FBlock->Room(bytes);
    *p++ = kStart;
    p = PutText(p, Name);
    p = PutLength(p, FAtts.size() / 2);
    for (const std::string_view& text : FAtts)
      p = PutText(p, text);
    FBlock->Used += bytes;
    FCharsAt = kNone;
    FlushIfFull();
  }
  void EndElement(std::string_view Name) override {
    const size_t bytes = 1 + TextBytes(Name);
    char* p = FBlock->Room(bytes);
    *p++ = kEnd;
    PutText(p, Name);
    FBlock->Used += bytes;
    FCharsAt = kNone;
    FlushIfFull();
  }
  void Characters(std::string_view Text) override {
    if (FCharsAt != kNone) {
      // Joins the text to the record just before: one event instead of several.
      char* p = FBlock->Room(Text.size());
      std::memcpy(p - 1, Text.data(), Text.size());  // over the NUL, which moves to the end
      p[Text.size() - 1] = '\0';
      FBlock->Used += Text.size();
      char* length = FBlock->Buffer.data() + FCharsAt;
      uint32_t n;
      std::memcpy(&n, length, sizeof n);
      n += static_cast<uint32_t>(Text.size());
      std::memcpy(length, &n, sizeof n);
    } else {
      const size_t bytes = 1 + TextBytes(Text);
      char* p = FBlock->Room(bytes);
      *p = kChars;
      PutText(p + 1, Text);
      FCharsAt = FBlock->Used + 1;
      FBlock->Used += bytes;
    }
    FlushIfFull();
  }

  // Hands over the last events.
  void Flush() {
    if (FBlock->Used > 0) FQueue.Push(std::move(FBlock));
  }

 private:
  static constexpr size_t kNone = ~size_t(0);

  static size_t TextBytes(std::string_view AText) { return sizeof(uint32_t) + AText.size() + 1; }
  static char* PutLength(char* P, size_t ALength) {
    const uint32_t n = static_cast<uint32_t>(ALength);
    std::memcpy(P, &n, sizeof n);
    return P + sizeof n;
  }
  static char* PutText(char* P, std::string_view AText) {
    P = PutLength(P, AText.size());
    std::memcpy(P, AText.data(), AText.size());
    P[AText.size()] = '\0';
    return P + AText.size() + 1;
  }
  void FlushIfFull() {
    if (FBlock->Used < kBlockBytes) return;
    FCharsAt = kNone;
    if (!FQueue.Push(std::move(FBlock))) {
      // The caller has gone: no further events are wanted.
      StopParsing();
      FBlock = std::make_unique<TEventBlock>();
      return;
    }
    NewBlock();
  }
  // A block with room for a full block's events and one more event of usual size, so that it
  // rarely grows.
  void NewBlock() {
    FBlock = FQueue.TakeFree();
    if (FBlock->Buffer.size() < kBlockBytes + 64 * 1024)
      FBlock->Buffer.resize(kBlockBytes + 64 * 1024);
  }

  TEventQueue& FQueue;
  std::unique_ptr<TEventBlock> FBlock;
  std::vector<std::string_view> FAtts;
  size_t FCharsAt = kNone;  // where the length of the open character record is, if any
};

// Reads what TEventRecorder wrote.
class TEventCursor {
 public:
  explicit TEventCursor(const TEventBlock& ABlock)
      : FPos(ABlock.Buffer.data()), FEnd(FPos + ABlock.Used) {}
  bool AtEnd() const { return FPos >= FEnd; }
  char Kind() { return *FPos++; }
  uint32_t Length() {
    uint32_t n;
    std::memcpy(&n, FPos, sizeof n);
    FPos += sizeof n;
    return n;
  }
  std::string_view View() {
    const uint32_t n = Length();
    const char* t = FPos;
    FPos += n + 1;
    return {t, n};
  }

 private:
  const char* FPos;
  const char* FEnd;
};

}  // namespace

ESAXParseError::ESAXParseError(std::string SourceName, int Line, int Column, std::string Reason)
    : Exception(ParseErrorMessage(SourceName, Line, Column, Reason)),
      FSourceName(std::move(SourceName)),
      FLine(Line),
      FColumn(Column),
      FReason(std::move(Reason)) {}

size_t TSAXAttributes::Count() const noexcept {
  size_t n = 0;
  while (FAtts[2 * n])
    ++n;
  return n;
}

const char* TSAXAttributes::Find(std::string_view Name) const noexcept {
  for (size_t i = 0; FAtts[i]; i += 2)
    if (Text(i) == Name) return FAtts[i + 1];
  return nullptr;
}

std::string_view TSAXAttributes::Get(std::string_view Name,
                                     std::string_view Default) const noexcept {
  const char* v = Find(Name);
  return v ? std::string_view(v) : Default;
}

bool TSAXReader::Parse(TStream& Source, std::string_view SourceName) {
  return ReadAhead ? ParseAhead(Source, SourceName) : ParseDirect(Source, SourceName);
}

bool TSAXReader::ParseDirect(TStream& Source, std::string_view SourceName) {
  const size_t block = BlockSize > 0 ? BlockSize : 1;
  FHandler.FStopRequested = false;
  TParse parse(FHandler, SourceName);
  FHandler.StartDocument();
  if (FHandler.FStopRequested) return false;
  for (;;) {
    void* buf = parse.Buffer(block);
    size_t n = Source.Read(buf, block);
    if (!parse.Feed(static_cast<int>(n), n == 0)) return false;
    if (n == 0) break;
  }
  FHandler.EndDocument();
  return true;
}

bool TSAXReader::ParseAhead(TStream& Source, std::string_view SourceName) {
  TEventQueue queue;
  std::thread worker;
  try {
    worker = std::thread([&queue, &Source, SourceName, block = BlockSize] {
      std::exception_ptr error;
      std::optional<TEventRecorder> recorder;
      try {
        recorder.emplace(queue);
        TSAXReader reader(*recorder);
        reader.BlockSize = block;
        reader.Parse(Source, SourceName);
      } catch (...) {
        error = std::current_exception();
      }
      // The events before a failure are handed over too, then the failure.
      try {
        if (recorder) recorder->Flush();
      } catch (...) {
        if (!error) error = std::current_exception();
      }
      queue.Finish(std::move(error));
    });
  } catch (const std::system_error&) {
    // No thread to be had: the same events, parsed on this thread.
    return ParseDirect(Source, SourceName);
  }
  // However the replay ends (done, stopped, the handler's exception), the worker is stopped and
  // joined before the source and the queue go away.
  struct TJoin {
    TEventQueue& Queue;
    std::thread& Worker;
    ~TJoin() {
      Queue.Cancel();
      Worker.join();
    }
  } join{queue, worker};

  FHandler.FStopRequested = false;
  FHandler.StartDocument();
  if (FHandler.FStopRequested) return false;

  std::vector<const char*> atts;
  std::vector<uint32_t> lengths;
  for (;;) {
    std::unique_ptr<TEventBlock> block = queue.Pop();
    if (!block) break;
    TEventCursor c(*block);
    while (!c.AtEnd()) {
      switch (c.Kind()) {
        case kStart: {
          const std::string_view name = c.View();
          const uint32_t count = c.Length();
          atts.clear();
          lengths.clear();
          for (uint32_t i = 0; i < 2 * count; ++i) {
            const std::string_view text = c.View();
            atts.push_back(text.data());
            lengths.push_back(static_cast<uint32_t>(text.size()));
          }
          atts.push_back(nullptr);
          FHandler.StartElement(name, TSAXAttributes(atts.data(), lengths.data()));
          break;
        }
        case kEnd:
          FHandler.EndElement(c.View());
          break;
        default:
          FHandler.Characters(c.View());
          break;
      }
      if (FHandler.FStopRequested) return false;
    }
    queue.Recycle(std::move(block));
  }
  FHandler.EndDocument();
  return true;
}

bool TSAXReader::ParseFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  return Parse(f, FileName);
}

}  // namespace vela
