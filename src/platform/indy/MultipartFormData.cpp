#include "platform/indy/MultipartFormData.h"

#include <gmime/gmime.h>

#include <memory>
#include <mutex>

namespace vela {

namespace {

void InitGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

struct TGObjectUnref {
  void operator()(void* p) const {
    if (p) g_object_unref(p);
  }
};
template <class T>
using TGPtr = std::unique_ptr<T, TGObjectUnref>;

struct TGFree {
  void operator()(char* p) const { g_free(p); }
};

TGPtr<GMimeContentType> ParseContentType(std::string_view AContentType) {
  InitGMime();
  const std::string text(AContentType);
  return TGPtr<GMimeContentType>(g_mime_content_type_parse(nullptr, text.c_str()));
}

// The next line of the body from pos (without its line end); pos moves past it.
std::string_view NextLine(std::string_view body, size_t& pos) {
  const size_t start = pos;
  size_t end = body.find('\n', pos);
  if (end == std::string_view::npos) {
    pos = body.size();
    end = body.size();
  } else {
    pos = end + 1;
  }
  std::string_view line = body.substr(start, end - start);
  // A delimiter line may carry trailing blanks (transport padding) and ends in CR LF or LF.
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
    line.remove_suffix(1);
  return line;
}

std::string Quoted(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

std::string CopyString(const char* s) {
  return s ? std::string(s) : std::string();
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A parameter of a Content-Disposition value as browsers write it: a quoted value has no
// backslash escapes (a Windows path keeps its backslashes) and runs to the quote that is
// followed by ";" or the end, so a bare quote inside a file name does not cut it short.
bool BrowserParameter(std::string_view header, std::string_view param, std::string& value) {
  size_t pos = header.find(';');
  while (pos != std::string_view::npos) {
    size_t i = pos + 1;
    while (i < header.size() && (header[i] == ' ' || header[i] == '\t'))
      ++i;
    bool match = i + param.size() < header.size() && header[i + param.size()] == '=';
    for (size_t k = 0; match && k < param.size(); ++k)
      match = Lower(header[i + k]) == param[k];
    if (match) {
      i += param.size() + 1;
      if (i < header.size() && header[i] == '"') {
        size_t end = header.size();
        for (size_t q = header.find('"', i + 1); q != std::string_view::npos;
             q = header.find('"', q + 1)) {
          size_t after = q + 1;
          while (after < header.size() && (header[after] == ' ' || header[after] == '\t'))
            ++after;
          if (after == header.size() || header[after] == ';') {
            end = q;
            break;
          }
        }
        if (end == header.size()) return false;  // unbalanced: leave it to the MIME reading
        value.assign(header.substr(i + 1, end - i - 1));
      } else {
        const size_t end = header.find(';', i);
        value.assign(header.substr(i, end == std::string_view::npos ? end : end - i));
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
          value.pop_back();
      }
      return true;
    }
    pos = header.find(';', pos + 1);
  }
  return false;
}

// The parameter as browsers mean it; otherwise as MIME reads it (which also decodes the
// RFC 2231 form "filename*=UTF-8''...").
std::string DispositionParameter(GMimeObject* part, const char* param) {
  std::string value;
  if (const char* header = g_mime_object_get_header(part, "Content-Disposition"))
    if (BrowserParameter(header, param, value)) return value;
  return CopyString(g_mime_object_get_content_disposition_parameter(part, param));
}

}  // namespace

bool TMultipartFormData::IsMultipartFormData(std::string_view AContentType) {
  const auto ct = ParseContentType(AContentType);
  return ct && g_mime_content_type_is_type(ct.get(), "multipart", "form-data");
}

std::string TMultipartFormData::Boundary(std::string_view AContentType) {
  const auto ct = ParseContentType(AContentType);
  return ct ? CopyString(g_mime_content_type_get_parameter(ct.get(), "boundary")) : std::string();
}

std::vector<TFormDataPart> TMultipartFormData::Parse(std::string_view AContentType,
                                                     std::string_view ABody) {
  const std::string boundary = Boundary(AContentType);
  if (boundary.empty()) return {};
  const std::string delimiter = "--" + boundary;
  const std::string closing = delimiter + "--";

  // The first delimiter line starts the parts (what comes before is a preamble); the closing
  // one must follow, or the body was cut off.
  size_t pos = 0;
  bool opened = false;
  while (pos < ABody.size() && !opened) {
    const std::string_view line = NextLine(ABody, pos);
    if (line == closing) return {};
    opened = line == delimiter;
  }
  if (!opened)
    throw EMultipartFormDataError("multipart body has no boundary line \"" + delimiter + "\"");
  bool closed = false;
  while (pos < ABody.size() && !closed)
    closed = NextLine(ABody, pos) == closing;
  if (!closed)
    throw EMultipartFormDataError("multipart body is truncated: the closing boundary line \"" +
                                  closing + "\" is missing");

  // GMime reads a MIME entity: the header that names the boundary, then the body.
  std::string entity =
      "Content-Type: multipart/form-data; boundary=" + Quoted(boundary) + "\r\n\r\n";
  entity.append(ABody);
  // GMime keeps the CR before a closing line that ends the text without a line break.
  if (entity.back() != '\n') entity += "\r\n";
  InitGMime();
  TGPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(entity.data(), entity.size()));
  TGPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  TGPtr<GMimeObject> root(g_mime_parser_construct_part(parser.get(), nullptr));
  if (!root || !GMIME_IS_MULTIPART(root.get()))
    throw EMultipartFormDataError("multipart body cannot be read");

  std::vector<TFormDataPart> parts;
  auto* multipart = GMIME_MULTIPART(root.get());
  const int count = g_mime_multipart_get_count(multipart);
  for (int i = 0; i < count; ++i) {
    GMimeObject* child = g_mime_multipart_get_part(multipart, i);
    if (!GMIME_IS_PART(child)) continue;
    TFormDataPart part;
    part.Name = DispositionParameter(child, "name");
    part.FileName = DispositionParameter(child, "filename");
    if (GMimeContentType* ct = g_mime_object_get_content_type(child)) {
      std::unique_ptr<char, TGFree> type(g_mime_content_type_get_mime_type(ct));
      part.ContentType = CopyString(type.get());
    }
    if (GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(child))) {
      TGPtr<GMimeStream> out(g_mime_stream_mem_new());
      g_mime_data_wrapper_write_to_stream(content, out.get());
      GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
      part.Data.assign(reinterpret_cast<const char*>(bytes->data), bytes->len);
    }
    parts.push_back(std::move(part));
  }
  return parts;
}

}  // namespace vela
