// A server's answer is untrusted: it goes through the header/body reader in
// chunks, then through the update-record parser and the entry checks.
// Input: two bytes choosing the chunk sizes (0 = full 1024-byte chunks),
// then the bytes the server sends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/http_answer.h"
#include "update/update_record.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool SameRecord(const vesperon::TUpdateInfo& a, const vesperon::TUpdateInfo& b) {
  return a.ID == b.ID && a.Name == b.Name && a.FileName == b.FileName &&
         a.UpdateType == b.UpdateType && a.Path == b.Path && a.ValueA == b.ValueA &&
         a.ValueB == b.ValueB && a.ValueC == b.ValueC && a.TextA == b.TextA && a.TextB == b.TextB;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace vesperon;
  if (size < 2) return 0;
  const unsigned pattern = data[0] | (data[1] << 8);
  const std::string_view answer(reinterpret_cast<const char*>(data + 2), size - 2);

  THttpAnswerReader reader;
  std::string_view rest = answer;
  for (unsigned i = 0; !rest.empty(); ++i) {
    const std::size_t n =
        pattern == 0 ? kReceiveChunkSize : 1 + (pattern * (i + 1)) % kReceiveChunkSize;
    reader.Feed(rest.substr(0, n));
    rest.remove_prefix(std::min(n, rest.size()));
  }
  const std::string& body = reader.Body();
  Check(reader.PastHeader() || body.empty());
  Check(answer.size() >= body.size() && answer.substr(answer.size() - body.size()) == body);
  const int status = reader.Status();
  Check(status == 0 || (status >= 0 && status <= 999));

  const auto records = ReadUpdateRecords(body);
  Check(records.size() == body.size() / kUpdateRecordSize);
  for (const TUpdateInfo& info : records) {
    const std::string bytes = WriteUpdateRecord(info);
    Check(bytes.size() == kUpdateRecordSize);
    Check(SameRecord(ReadUpdateRecord(bytes), info));
    Check(info.Name.size() <= 50 && info.FileName.size() <= 50 && info.Path.size() <= 255);
    if (IsSafeUpdateFileName(info.FileName))
      Check(info.FileName.find('/') == std::string::npos && info.FileName != "..");
    for (char c : PrintableText(info.Name))
      Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    IsSafeUpdatePath(info.Path);
  }
  return 0;
}
