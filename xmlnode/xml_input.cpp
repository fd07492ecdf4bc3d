#include "xml_input.h"

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/descriptors.h"
#include "xml_memory.h"

namespace kyto::xmlnode {

namespace {

// Room for size bytes and the one after them.
char* allocate(std::size_t size) {
  return static_cast<char*>(allocateMemory(size + 1));
}

// Room for twice the bytes of data, which move there: null when memory runs out, data then kept.
char* grow(XmlBytes& data, std::size_t used, std::size_t capacity) {
  char* grown = allocate(capacity * 2);
  if (grown == nullptr) return nullptr;
  std::memcpy(grown, data.data(), used);
  data = XmlBytes(grown, 0);
  return grown;
}

XmlInput failed(InputStatus status, int error = 0) {
  XmlInput input;
  input.status = status;
  input.error = error;
  return input;
}

// The whole file, read until end of file: a file that grows while it is read is read as far as
// the limit.
XmlInput readAll(int fd, std::size_t mostBytes) {
  struct stat st;
  if (fstat(fd, &st) != 0) return failed(InputStatus::kUnreadable, errno);
  if (static_cast<std::size_t>(st.st_size) > mostBytes) return failed(InputStatus::kTooLarge);
  const LargeDocument large(static_cast<std::size_t>(st.st_size));
  // One more than its size, so that the read that sees the end comes at once.
  std::size_t capacity = static_cast<std::size_t>(st.st_size) + 1;
  char* data = allocate(capacity);
  if (data == nullptr) return failed(InputStatus::kOutOfMemory);
  XmlBytes bytes(data, 0);
  std::size_t size = 0;
  for (;;) {
    if (size == capacity) {
      if (capacity > mostBytes) return failed(InputStatus::kTooLarge);
      if (grow(bytes, size, capacity) == nullptr) return failed(InputStatus::kOutOfMemory);
      capacity *= 2;
    }
    const ssize_t n = read(fd, bytes.data() + size, capacity - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failed(InputStatus::kUnreadable, errno);
    if (n == 0) break;
    size += static_cast<std::size_t>(n);
  }
  if (size > mostBytes) return failed(InputStatus::kTooLarge);
  XmlInput input;
  input.text = XmlBytes(bytes.release(), size);
  return input;
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The encoding that the first bytes tell, and how many of them are a byte order mark.
struct Signature {
  const char* encoding;  // null: ASCII-compatible, the declaration tells
  std::size_t bomBytes;
};

Signature signatureOf(std::string_view raw) {
  using namespace std::string_view_literals;
  if (startsWith(raw, "\xEF\xBB\xBF")) return {"UTF-8", 3};
  if (startsWith(raw, "\xFF\xFE\0\0"sv)) return {"UTF-32LE", 4};
  if (startsWith(raw, "\0\0\xFE\xFF"sv)) return {"UTF-32BE", 4};
  if (startsWith(raw, "\xFF\xFE")) return {"UTF-16LE", 2};
  if (startsWith(raw, "\xFE\xFF")) return {"UTF-16BE", 2};
  if (startsWith(raw, "<\0\0\0"sv)) return {"UTF-32LE", 0};
  if (startsWith(raw, "\0\0\0<"sv)) return {"UTF-32BE", 0};
  if (startsWith(raw, "<\0?\0"sv)) return {"UTF-16LE", 0};
  if (startsWith(raw, "\0<\0?"sv)) return {"UTF-16BE", 0};
  return {nullptr, 0};
}

// The encoding named by the XML declaration at the start of an ASCII-compatible text, or "".
std::string declaredEncoding(std::string_view raw) {
  if (!startsWith(raw, "<?xml")) return {};
  const std::string_view declaration = raw.substr(0, raw.find("?>"));
  const std::size_t key = declaration.find("encoding");
  if (key == std::string_view::npos) return {};
  std::size_t at = declaration.find_first_of("\"'", key);
  if (at == std::string_view::npos) return {};
  const char quote = declaration[at++];
  const std::size_t end = declaration.find(quote, at);
  if (end == std::string_view::npos) return {};
  return std::string(declaration.substr(at, end - at));
}

bool namesUtf8(std::string name) {
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return name.empty() || name == "UTF-8" || name == "UTF8";
}

struct Converter {
  explicit Converter(const char* from) : handle(iconv_open("UTF-8", from)) {}
  ~Converter() {
    if (valid()) iconv_close(handle);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool valid() const { return handle != reinterpret_cast<iconv_t>(-1); }
  iconv_t handle;
};

XmlInput convert(std::string_view raw, const std::string& encoding) {
  const LargeDocument large(raw.size());
  Converter converter(encoding.c_str());
  if (!converter.valid()) {
    XmlInput input = failed(InputStatus::kUnknownEncoding);
    input.encoding = encoding;
    return input;
  }
  std::size_t capacity = raw.size() * 2 + 16;
  XmlBytes out(allocate(capacity), 0);
  if (out.empty()) return failed(InputStatus::kOutOfMemory);
  char* in = const_cast<char*>(raw.data());
  std::size_t inLeft = raw.size();
  std::size_t used = 0;
  while (inLeft > 0) {
    char* to = out.data() + used;
    std::size_t outLeft = capacity - used;
    const std::size_t rc = iconv(converter.handle, &in, &inLeft, &to, &outLeft);
    used = capacity - outLeft;
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno != E2BIG) {
      XmlInput input = failed(InputStatus::kBadEncoding);
      input.encoding = encoding;
      input.badAt = used;
      return input;
    }
    if (grow(out, used, capacity) == nullptr) return failed(InputStatus::kOutOfMemory);
    capacity *= 2;
  }
  XmlInput input;
  input.text = XmlBytes(out.release(), used);
  return input;
}

}  // namespace

void XmlBytes::Free::operator()(char* data) const {
  freeMemory(data);
}

XmlBytes XmlBytes::copyOf(std::string_view text) {
  char* data = allocate(text.size());
  if (data == nullptr) return {};
  std::memcpy(data, text.data(), text.size());
  return XmlBytes(data, text.size());
}

std::string encodingOf(std::string_view raw, std::size_t* bomBytes) {
  const Signature signature = signatureOf(raw);
  *bomBytes = signature.bomBytes;
  std::string encoding = signature.encoding != nullptr ? signature.encoding : declaredEncoding(raw);
  if (namesUtf8(encoding)) encoding.clear();
  return encoding;
}

XmlInput convertToUtf8(std::string_view raw, const std::string& encoding) {
  return convert(raw, encoding);
}

XmlInput toUtf8(XmlBytes raw) {
  const Signature signature = signatureOf(raw.view());
  const std::string encoding =
      signature.encoding != nullptr ? signature.encoding : declaredEncoding(raw.view());
  if (namesUtf8(encoding)) {
    // The text is UTF-8 already: only a byte order mark goes, in place.
    if (signature.bomBytes > 0)
      std::memmove(raw.data(), raw.data() + signature.bomBytes, raw.size() - signature.bomBytes);
    XmlInput input;
    input.text = XmlBytes(raw.release(), raw.size() - signature.bomBytes);
    return input;
  }
  return convert(raw.view().substr(signature.bomBytes), encoding);
}

XmlInput readXmlFile(const std::string& path, std::size_t mostBytes) {
  UniqueFd fd;
  if (const int error = openRegularFile(path, fd); error != 0)
    return failed(InputStatus::kUnreadable, error);
  XmlInput raw = readAll(fd.get(), mostBytes);
  if (raw.status != InputStatus::kRead) return raw;
  return toUtf8(std::move(raw.text));
}

}  // namespace kyto::xmlnode
