// Byte streams with the runtime's interface: memory, string, file, buffered file, and a stream
// that keeps its data in memory up to a limit and then moves it into a temporary file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vela {

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// File modes of TFileStream. One access mode, optionally or-ed with a share mode; share modes
// are accepted for compatibility and have no effect here.
constexpr uint32_t fmOpenRead = 0x0000;
constexpr uint32_t fmOpenWrite = 0x0001;
constexpr uint32_t fmOpenReadWrite = 0x0002;
constexpr uint32_t fmShareCompat = 0x0000;
constexpr uint32_t fmShareExclusive = 0x0010;
constexpr uint32_t fmShareDenyWrite = 0x0020;
constexpr uint32_t fmShareDenyRead = 0x0030;
constexpr uint32_t fmShareDenyNone = 0x0040;
// Creates the file (empty when it exists), read-write.
constexpr uint32_t fmCreate = 0xFF00;
// Opens read-write, creating the file when it is missing, positioned at its end.
constexpr uint32_t fmAppend = 0xFE00;

class TStream {
 public:
  virtual ~TStream() = default;

  // Read and Write move up to count bytes and return how many they moved.
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  // Raises EStreamError when the stream cannot change its size.
  virtual void SetSize(int64_t newSize);

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soBeginning); }

  // All or nothing: raise EReadError "Stream read error" / EWriteError "Stream write error".
  void ReadBuffer(void* buffer, size_t count);
  void WriteBuffer(const void* buffer, size_t count);
  void WriteString(std::string_view s) { WriteBuffer(s.data(), s.size()); }
  // Copies count bytes from source's position; count 0 copies all of source from its start.
  // Returns the bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count = 0);
  // The bytes from the position to the end.
  std::string ReadToEnd();
};

// Bytes in memory. Seeking past the end is allowed; writing there fills the gap with zeros.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t newSize) override;

  char* Memory() noexcept { return FData.data(); }
  const char* Memory() const noexcept { return FData.data(); }
  void Clear();
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;
  // Replaces the content by the rest of stream (from its position).
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

 protected:
  std::string FData;
  int64_t FPosition = 0;
};

// A memory stream over a string; DataString is the whole content.
class TStringStream : public TMemoryStream {
 public:
  TStringStream() = default;
  explicit TStringStream(std::string data) { FData = std::move(data); }

  const std::string& DataString() const noexcept { return FData; }
  // Reads up to count bytes from the position.
  std::string ReadString(size_t count);
};

// A file opened by name. Raises EFCreateError "Cannot create file "<name>". <reason>" or
// EFOpenError "Cannot open file "<name>". <reason>".
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, uint32_t mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;

  const std::string& FileName() const noexcept { return FFileName; }
  int Handle() const noexcept { return FHandle; }

 protected:
  std::string FFileName;
  int FHandle = -1;
};

// A file stream with a 32 KiB buffer for reading and writing; small reads and writes touch the
// file once per buffer. Written data reaches the file at FlushBuffer, on seeks out of the
// buffered range, and at destruction.
class TBufferedFileStream : public TFileStream {
 public:
  static constexpr size_t kBufferSize = 32 * 1024;

  TBufferedFileStream(const std::string& fileName, uint32_t mode, size_t bufferSize = kBufferSize);
  ~TBufferedFileStream() override;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;
  // Writes pending data to the file; raises EWriteError when that fails.
  void FlushBuffer();

 private:
  bool FillBuffer();

  std::unique_ptr<char[]> FBuffer;
  size_t FBufferSize;
  int64_t FPos = 0;       // logical position
  int64_t FBufStart = 0;  // file offset of FBuffer[0]
  size_t FBufCount = 0;   // valid bytes in FBuffer
  bool FDirty = false;    // FBuffer[0, FBufCount) differs from the file
};

// Keeps its data in memory while the size stays within the limit; a write or size change
// beyond it moves the data into a temporary file (created in tempFolder, or the system's
// temporary folder when empty) and goes on there, transparently. The file is deleted on
// destruction.
class TSwapStream : public TStream {
 public:
  static constexpr int64_t kDefaultLimit = 16 * 1024 * 1024;

  explicit TSwapStream(int64_t limit = kDefaultLimit, std::string tempFolder = {});
  ~TSwapStream() override;
  TSwapStream(const TSwapStream&) = delete;
  TSwapStream& operator=(const TSwapStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;

  int64_t Limit() const noexcept { return FLimit; }
  bool Swapped() const noexcept { return FFile != nullptr; }
  // The temporary file's name once swapped; empty before.
  const std::string& TempFileName() const noexcept { return FTempFileName; }

 private:
  void SwapOut();
  TStream& Current() noexcept;

  int64_t FLimit;
  std::string FTempFolder;
  std::string FTempFileName;
  TMemoryStream FMemory;
  std::unique_ptr<TBufferedFileStream> FFile;
};

}  // namespace vela
