#include "model3d/uMesh.h"

#include <QFile>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "desktop/uServices.h"

namespace vedalia {
namespace {

constexpr std::size_t kMaxIntToken = 32;
constexpr std::size_t kMaxRealToken = 64;
// The shortest record of three numbers: "0 0 0" and its line end.
constexpr std::int64_t kMinRecordBytes = 6;

struct TGmsError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One forward pass over the text. Numbers are tokens separated by characters 0..32; a line
// ends at LF, and a CR right before it is not part of the line.
class TGmsReader {
 public:
  explicit TGmsReader(std::string_view text)
      : p(text.data()), end(text.data() + text.size()), begin(text.data()) {}

  bool AtEnd() const { return p >= end; }
  std::int64_t Remaining() const { return end - p; }
  // True once a number was wanted after the end of the file (it read as 0).
  bool RanOut() const { return ranOut; }

  std::string_view NextLine() {
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
    const char* lineEnd = lf ? lf : end;
    std::string_view line(p, lineEnd - p);
    if (!line.empty() && line.back() == '\r' && lf) line.remove_suffix(1);
    p = lf ? lf + 1 : end;
    return line;
  }

  void SkipLine() {
    if (p >= end) return;
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
    p = lf ? lf + 1 : end;
  }

  void SkipLines(int n) {
    for (int i = 0; i < n; ++i) SkipLine();
  }

  std::int32_t ReadInt() {
    std::string_view tok = Token(kMaxIntToken);
    if (tok.empty()) return ranOut = true, 0;  // wanted at the end of the file
    const char* first = tok.data();
    const char* last = first + tok.size();
    if (*first == '+' && last - first > 1 && first[1] != '-') ++first;
    std::int32_t value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last) Malformed(tok);
    return value;
  }

  float ReadReal() {
    std::string_view tok = Token(kMaxRealToken);
    if (tok.empty()) return ranOut = true, 0.0f;
    const char* first = tok.data();
    const char* last = first + tok.size();
    if (*first == '+' && last - first > 1 && first[1] != '-') ++first;
    // Only plain decimals: no "inf", "nan" or hexadecimal forms.
    const char* digits = (*first == '-') ? first + 1 : first;
    if (digits == last || !((*digits >= '0' && *digits <= '9') || *digits == '.')) Malformed(tok);
    float value = 0.0f;
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
      // Tiny values become zero or subnormal; huge ones are refused below.
      double wide = 0.0;
      auto [wptr, wec] = std::from_chars(first, last, wide, std::chars_format::general);
      if (wec != std::errc() || wptr != last) Malformed(tok);
      value = static_cast<float>(wide);
      ptr = last;
      ec = std::errc();
    }
    if (ec != std::errc() || ptr != last || !std::isfinite(value)) Malformed(tok);
    return value;
  }

  void ReadTriple(TVector3f& v) {
    v[0] = ReadReal();
    v[1] = ReadReal();
    v[2] = ReadReal();
    SkipLine();
  }

  // Reads 1-based numbers and stores them 0-based.
  void ReadIndexTriple(TTriangle& t) {
    for (auto& i : t) {
      const std::int32_t n = ReadInt();
      if (n == std::numeric_limits<std::int32_t>::min()) Malformed("index");
      i = n - 1;
    }
    SkipLine();
  }

  [[noreturn]] void Fail(const std::string& what) const {
    throw TGmsError(what + " (byte " + std::to_string(p - begin) + ")");
  }

 private:
  std::string_view Token(std::size_t maxLen) {
    while (p < end && static_cast<unsigned char>(*p) <= 32) ++p;
    const char* start = p;
    while (p<end&& static_cast<unsigned char>(*p)> 32) ++p;
    if (static_cast<std::size_t>(p - start) > maxLen)
      Malformed(std::string_view(start, std::min<std::size_t>(p - start, 16)));
    return std::string_view(start, p - start);
  }

  [[noreturn]] void Malformed(std::string_view tok) const {
    Fail("malformed number \"" + std::string(tok) + "\"");
  }

  const char* p;
  const char* end;
  const char* begin;
  bool ranOut = false;
};

// Refuses counts that cannot be true of the rest of the file before anything is allocated.
void CheckCounts(const TGmsReader& r, std::int32_t a, std::int32_t b, std::int64_t records,
                 const char* what) {
  if (a < 0 || b < 0) r.Fail(std::string("negative ") + what + " count");
  if (records * kMinRecordBytes > r.Remaining() + 1)
    r.Fail(std::string(what) + " counts exceed what the file holds");
}

float ComputeScale(const std::vector<TVector3f>& vertices) {
  float m = 0.0f;
  for (const auto& v : vertices) m = std::max({m, v[0], v[1], v[2]});
  if (m > 0.0f && std::isfinite(1.0f / m)) return 1.0f / m;
  // Nothing positive: fall back to the largest magnitude so that the model still fits the view.
  float mag = 0.0f;
  for (const auto& v : vertices)
    mag = std::max({mag, std::fabs(v[0]), std::fabs(v[1]), std::fabs(v[2])});
  if (mag > 0.0f && std::isfinite(1.0f / mag)) return 1.0f / mag;
  return 1.0f;
}

std::unique_ptr<TGLMesh> ReadObject(TGmsReader& r) {
  auto mesh = std::make_unique<TGLMesh>();
  bool haveCounts = false;
  while (!r.AtEnd()) {
    if (r.NextLine() == "numverts numfaces") {
      haveCounts = true;
      break;
    }
  }
  std::int32_t nv = 0, nf = 0;
  if (haveCounts) {
    nv = r.ReadInt();
    nf = r.ReadInt();
    r.SkipLine();
  }
  CheckCounts(r, nv, nf, 2 * std::int64_t(nv) + 2 * std::int64_t(nf), "object");
  mesh->NumVerts = nv;
  mesh->NumFaces = nf;
  mesh->Vertices.resize(nv);
  mesh->Faces.resize(nf);
  mesh->FaceNormals.resize(nf);
  mesh->VertexNormals.resize(nv);

  r.SkipLine();
  for (auto& v : mesh->Vertices) r.ReadTriple(v);
  r.SkipLines(2);
  for (auto& f : mesh->Faces) r.ReadIndexTriple(f);
  r.SkipLines(2);
  for (auto& n : mesh->FaceNormals) r.ReadTriple(n);
  r.SkipLines(2);
  for (auto& n : mesh->VertexNormals) r.ReadTriple(n);
  // A file cut inside the block would leave its last records as zeros.
  if (r.RanOut()) r.Fail("the file ends before the object's counts are met");

  mesh->Scale = ComputeScale(mesh->Vertices);
  return mesh;
}

void ReadTexture(TGmsReader& r, TGLMultyMesh& set) {
  r.SkipLine();
  const std::int32_t ntv = r.ReadInt();
  const std::int32_t ntf = r.ReadInt();
  r.SkipLine();
  // Whatever an earlier block gave is replaced, also when this one turns out incomplete.
  set.TexVertices.clear();
  set.TexFaces.clear();
  set.NumTexVerts = 0;
  set.NumTexFaces = 0;
  if (r.NextLine() != "Texture vertices:") {
    AppServices().messages->ShowMessage(nullptr, MessageKind::Plain,
                                        QStringLiteral("Texture not present!"));
    set.Textured = false;
    return;
  }
  CheckCounts(r, ntv, ntf, std::int64_t(ntv) + std::int64_t(ntf), "texture");
  set.NumTexVerts = ntv;
  set.NumTexFaces = ntf;
  set.TexVertices.resize(ntv);
  set.TexFaces.resize(ntf);
  for (auto& v : set.TexVertices) r.ReadTriple(v);
  r.SkipLines(2);
  for (auto& f : set.TexFaces) r.ReadIndexTriple(f);
  if (r.RanOut()) r.Fail("the file ends before the texture's counts are met");
  set.Textured = true;
}

bool IndicesBelow(const std::vector<TTriangle>& faces, std::int32_t count) {
  return std::all_of(faces.begin(), faces.end(), [count](const TTriangle& t) {
    return t[0] >= 0 && t[0] < count && t[1] >= 0 && t[1] < count && t[2] >= 0 && t[2] < count;
  });
}

// Drawing relies on every index being inside its array; a file that breaks that is refused.
void CheckConsistency(const TGLMultyMesh& set) {
  if (set.Meshes.empty()) throw TGmsError("the file holds no object");
  // Only the first object is drawn: without triangles there is nothing to show.
  if (set.Meshes.front()->NumFaces == 0) throw TGmsError("the first object has no triangles");
  for (std::size_t i = 0; i < set.Meshes.size(); ++i) {
    const TGLMesh& m = *set.Meshes[i];
    const std::string which = "object " + std::to_string(i + 1);
    if (!IndicesBelow(m.Faces, m.NumVerts)) throw TGmsError(which + ": vertex number out of range");
    if (set.Textured && m.NumFaces > set.NumTexFaces)
      throw TGmsError(which + ": more triangles than texture faces");
  }
  if (set.Textured && !IndicesBelow(set.TexFaces, set.NumTexVerts))
    throw TGmsError("texture vertex number out of range");
}

}  // namespace

TGLMultyMesh::TGLMultyMesh() = default;
TGLMultyMesh::~TGLMultyMesh() = default;

void TGLMultyMesh::Clear() {
  Meshes.clear();
  TexVertices.clear();
  TexFaces.clear();
  NumTexVerts = NumTexFaces = 0;
  Textured = false;
}

bool TGLMultyMesh::LoadFromFile(const QString& fileName, QString* error) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) {
    Clear();
    if (error) *error = QStringLiteral("cannot open %1: %2").arg(fileName, file.errorString());
    return false;
  }
  const qint64 size = file.size();
  if (size > 0) {
    if (const uchar* data = file.map(0, size))
      return LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size), error);
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    Clear();
    if (error) *error = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
    return false;
  }
  return LoadFromText(std::string_view(bytes.constData(), bytes.size()), error);
}

bool TGLMultyMesh::LoadFromText(std::string_view text, QString* error) {
  Clear();
  try {
    TGmsReader r(text);
    while (!r.AtEnd()) {
      const std::string_view line = r.NextLine();
      if (line == "New object") {
        auto mesh = ReadObject(r);
        mesh->Owner = this;
        Meshes.push_back(std::move(mesh));
      } else if (line == "New Texture:") {
        ReadTexture(r, *this);
      }
    }
    CheckConsistency(*this);
  } catch (const TGmsError& e) {
    Clear();
    if (error) *error = QString::fromStdString(e.what());
    return false;
  } catch (const std::bad_alloc&) {
    Clear();
    if (error) *error = QStringLiteral("not enough memory for the model");
    return false;
  }
  return true;
}

}  // namespace vedalia
