#include "rtl/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "rtl/Exceptions.h"
#include "rtl/FileUtils.h"

namespace vela {

namespace {

std::string OsReason(int err) {
  return std::strerror(err);
}

[[noreturn]] void SeekError() {
  throw EStreamError("Stream seek error");
}

}  // namespace

// --- TStream ---

int64_t TStream::Size() {
  const int64_t pos = Seek(0, soCurrent);
  const int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {
  throw EStreamError("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* buffer, size_t count) {
  auto* p = static_cast<char*>(buffer);
  while (count > 0) {
    const size_t n = Read(p, count);
    if (n == 0) throw EReadError("Stream read error");
    p += n;
    count -= n;
  }
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
  const auto* p = static_cast<const char*>(buffer);
  while (count > 0) {
    const size_t n = Write(p, count);
    if (n == 0) throw EWriteError("Stream write error");
    p += n;
    count -= n;
  }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr size_t kChunk = 64 * 1024;
  std::vector<char> buf(
      static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(count, 1), kChunk)));
  int64_t left = count;
  while (left > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(buf.size())));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= static_cast<int64_t>(n);
  }
  return count;
}

std::string TStream::ReadToEnd() {
  const int64_t left = Size() - Position();
  std::string result;
  if (left > 0) {
    result.resize(static_cast<size_t>(left));
    ReadBuffer(result.data(), result.size());
  }
  return result;
}

// --- TMemoryStream ---

size_t TMemoryStream::Read(void* buffer, size_t count) {
  const auto size = static_cast<int64_t>(FData.size());
  if (FPosition < 0 || FPosition >= size || count == 0) return 0;
  const size_t n =
      static_cast<size_t>(std::min<int64_t>(size - FPosition, static_cast<int64_t>(count)));
  std::memcpy(buffer, FData.data() + FPosition, n);
  FPosition += static_cast<int64_t>(n);
  return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  if (FPosition < 0 || count == 0) return 0;
  const auto end = static_cast<size_t>(FPosition) + count;
  if (end > FData.size()) {
    // Grow geometrically so that many small writes stay linear.
    if (end > FData.capacity()) FData.reserve(std::max(end, FData.capacity() * 2));
    FData.resize(end);
  }
  std::memcpy(FData.data() + FPosition, buffer, count);
  FPosition = static_cast<int64_t>(end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soBeginning:
      FPosition = offset;
      break;
    case soCurrent:
      FPosition += offset;
      break;
    case soEnd:
      FPosition = static_cast<int64_t>(FData.size()) + offset;
      break;
  }
  return FPosition;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Stream size cannot be changed");
  FData.resize(static_cast<size_t>(newSize));
  if (FPosition > newSize) FPosition = newSize;
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
  FData = stream.ReadToEnd();
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& stream) const {
  stream.WriteBuffer(FData.data(), FData.size());
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  TFileStream f(fileName, fmCreate);
  SaveToStream(f);
}

std::string TStringStream::ReadString(size_t count) {
  const auto size = static_cast<int64_t>(FData.size());
  if (FPosition < 0 || FPosition >= size) return {};
  const size_t n =
      static_cast<size_t>(std::min<int64_t>(size - FPosition, static_cast<int64_t>(count)));
  std::string result = FData.substr(static_cast<size_t>(FPosition), n);
  FPosition += static_cast<int64_t>(n);
  return result;
}

// --- TFileStream ---

TFileStream::TFileStream(const std::string& fileName, uint32_t mode) : FFileName(fileName) {
  if (mode == fmCreate) {
    FHandle = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0)
      throw EFCreateError("Cannot create file \"" + fileName + "\". " + OsReason(errno));
    return;
  }
  int flags = O_CLOEXEC;
  if (mode == fmAppend) {
    flags |= O_RDWR | O_CREAT;
  } else {
    switch (mode & 0x3) {
      case fmOpenWrite:
        flags |= O_WRONLY;
        break;
      case fmOpenReadWrite:
        flags |= O_RDWR;
        break;
      default:
        flags |= O_RDONLY;
        break;
    }
  }
  FHandle = ::open(fileName.c_str(), flags, 0666);
  if (FHandle < 0) throw EFOpenError("Cannot open file \"" + fileName + "\". " + OsReason(errno));
  struct stat st;
  if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + OsReason(EISDIR));
  }
  if (mode == fmAppend) ::lseek(FHandle, 0, SEEK_END);
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

size_t TFileStream::Read(void* buffer, size_t count) {
  for (;;) {
    const ssize_t n = ::read(FHandle, buffer, count);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return 0;
  }
}

size_t TFileStream::Write(const void* buffer, size_t count) {
  for (;;) {
    const ssize_t n = ::write(FHandle, buffer, count);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return 0;
  }
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  const off_t r = ::lseek(FHandle, static_cast<off_t>(offset), whence);
  if (r < 0) SeekError();
  return r;
}

int64_t TFileStream::Size() {
  struct stat st;
  if (::fstat(FHandle, &st) != 0) return -1;
  return st.st_size;
}

void TFileStream::SetSize(int64_t newSize) {
  if (::ftruncate(FHandle, static_cast<off_t>(newSize)) != 0)
    throw EStreamError("Stream size cannot be changed: " + OsReason(errno));
  if (Position() > newSize) Seek(newSize, soBeginning);
}

// --- TBufferedFileStream ---

TBufferedFileStream::TBufferedFileStream(const std::string& fileName, uint32_t mode,
                                         size_t bufferSize)
    : TFileStream(fileName, mode),
      FBuffer(new char[std::max<size_t>(bufferSize, 1)]),
      FBufferSize(std::max<size_t>(bufferSize, 1)) {
  FPos = ::lseek(FHandle, 0, SEEK_CUR);
  if (FPos < 0) FPos = 0;
  FBufStart = FPos;
}

TBufferedFileStream::~TBufferedFileStream() {
  try {
    FlushBuffer();
  } catch (...) {
    // A destructor cannot report; callers that care call FlushBuffer first.
  }
}

void TBufferedFileStream::FlushBuffer() {
  if (!FDirty) return;
  size_t done = 0;
  while (done < FBufCount) {
    const ssize_t n = ::pwrite(FHandle, FBuffer.get() + done, FBufCount - done,
                               static_cast<off_t>(FBufStart + static_cast<int64_t>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EWriteError("Stream write error");
    done += static_cast<size_t>(n);
  }
  FDirty = false;
}

bool TBufferedFileStream::FillBuffer() {
  FlushBuffer();
  FBufStart = FPos;
  FBufCount = 0;
  for (;;) {
    const ssize_t n = ::pread(FHandle, FBuffer.get(), FBufferSize, static_cast<off_t>(FPos));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    FBufCount = static_cast<size_t>(n);
    return true;
  }
}

size_t TBufferedFileStream::Read(void* buffer, size_t count) {
  auto* out = static_cast<char*>(buffer);
  size_t total = 0;
  while (count > 0) {
    if (FPos >= FBufStart && FPos < FBufStart + static_cast<int64_t>(FBufCount)) {
      const auto off = static_cast<size_t>(FPos - FBufStart);
      const size_t n = std::min(count, FBufCount - off);
      std::memcpy(out, FBuffer.get() + off, n);
      out += n;
      count -= n;
      total += n;
      FPos += static_cast<int64_t>(n);
      continue;
    }
    if (count >= FBufferSize) {
      // Large reads bypass the buffer.
      FlushBuffer();
      const ssize_t n = ::pread(FHandle, out, count, static_cast<off_t>(FPos));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      out += n;
      count -= static_cast<size_t>(n);
      total += static_cast<size_t>(n);
      FPos += n;
      continue;
    }
    if (!FillBuffer()) break;
  }
  return total;
}

size_t TBufferedFileStream::Write(const void* buffer, size_t count) {
  const auto* in = static_cast<const char*>(buffer);
  size_t total = 0;
  while (count > 0) {
    // The buffer takes the write when it starts inside or right at the end of the valid range.
    const int64_t rel = FPos - FBufStart;
    if (rel >= 0 && rel <= static_cast<int64_t>(FBufCount) &&
        static_cast<size_t>(rel) < FBufferSize) {
      const auto off = static_cast<size_t>(rel);
      const size_t n = std::min(count, FBufferSize - off);
      std::memcpy(FBuffer.get() + off, in, n);
      FBufCount = std::max(FBufCount, off + n);
      FDirty = true;
      in += n;
      count -= n;
      total += n;
      FPos += static_cast<int64_t>(n);
      continue;
    }
    FlushBuffer();
    FBufStart = FPos;
    FBufCount = 0;
    if (count >= FBufferSize) {
      const ssize_t n = ::pwrite(FHandle, in, count, static_cast<off_t>(FPos));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      in += n;
      count -= static_cast<size_t>(n);
      total += static_cast<size_t>(n);
      FPos += n;
      FBufStart = FPos;
    }
  }
  return total;
}

int64_t TBufferedFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t pos = offset;
  if (origin == soCurrent)
    pos += FPos;
  else if (origin == soEnd)
    pos += Size();
  if (pos < 0) SeekError();
  FPos = pos;
  return FPos;
}

int64_t TBufferedFileStream::Size() {
  int64_t size = TFileStream::Size();
  if (FDirty) size = std::max(size, FBufStart + static_cast<int64_t>(FBufCount));
  return size;
}

void TBufferedFileStream::SetSize(int64_t newSize) {
  FlushBuffer();
  FBufCount = 0;
  FBufStart = FPos;
  if (::ftruncate(FHandle, static_cast<off_t>(newSize)) != 0)
    throw EStreamError("Stream size cannot be changed: " + OsReason(errno));
  if (FPos > newSize) FPos = newSize;
}

// --- TSwapStream ---

TSwapStream::TSwapStream(int64_t limit, std::string tempFolder)
    : FLimit(limit), FTempFolder(std::move(tempFolder)) {}

TSwapStream::~TSwapStream() {
  FFile.reset();
  if (!FTempFileName.empty()) DeleteFile(FTempFileName);
}

TStream& TSwapStream::Current() noexcept {
  if (FFile) return *FFile;
  return FMemory;
}

void TSwapStream::SwapOut() {
  FTempFileName = GetTempFileName(FTempFolder, "swp");
  try {
    auto file = std::make_unique<TBufferedFileStream>(FTempFileName, fmOpenReadWrite);
    const int64_t pos = FMemory.Position();
    file->WriteBuffer(FMemory.Memory(), static_cast<size_t>(FMemory.Size()));
    file->Seek(pos, soBeginning);
    FFile = std::move(file);
  } catch (...) {
    DeleteFile(FTempFileName);
    FTempFileName.clear();
    throw;
  }
  FMemory.Clear();
}

size_t TSwapStream::Read(void* buffer, size_t count) {
  return Current().Read(buffer, count);
}

size_t TSwapStream::Write(const void* buffer, size_t count) {
  if (!FFile && FMemory.Position() + static_cast<int64_t>(count) > FLimit) SwapOut();
  return Current().Write(buffer, count);
}

int64_t TSwapStream::Seek(int64_t offset, TSeekOrigin origin) {
  return Current().Seek(offset, origin);
}

int64_t TSwapStream::Size() {
  return Current().Size();
}

void TSwapStream::SetSize(int64_t newSize) {
  if (!FFile && newSize > FLimit) SwapOut();
  Current().SetSize(newSize);
}

}  // namespace vela
