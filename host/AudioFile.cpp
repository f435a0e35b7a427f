#include "host/AudioFile.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

SNDFILE* Handle(void* p) { return static_cast<SNDFILE*>(p); }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

struct MajorName {
  const char* name;
  int major;
};
// The containers the renderer writes by name; the first name is the canonical one.
const MajorName kMajors[] = {
    {"wav", SF_FORMAT_WAV}, {"flac", SF_FORMAT_FLAC}, {"aiff", SF_FORMAT_AIFF},
    {"aif", SF_FORMAT_AIFF}, {"ogg", SF_FORMAT_OGG}, {"oga", SF_FORMAT_OGG},
};

int MajorForName(const std::string& name) {
  std::string n = Lower(name);
  for (const MajorName& m : kMajors)
    if (n == m.name) return m.major;
  return 0;
}

// A subtype every container of the list can hold.
int DefaultSubtype(int major) {
  return major == SF_FORMAT_OGG ? SF_FORMAT_VORBIS : SF_FORMAT_PCM_16;
}

bool Valid(int code, int rate, int channels) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = code;
  return sf_format_check(&info) != 0;
}

}  // namespace

// ---- memory ----

std::int64_t MemorySource::read(float* dst, std::int64_t maxFrames) {
  std::int64_t n = std::min(maxFrames, mBuffer.frames() - mPos);
  if (n <= 0) return 0;
  const float* src = mBuffer.samples.data() + mPos * mBuffer.channels;
  std::copy(src, src + n * mBuffer.channels, dst);
  mPos += n;
  return n;
}

bool MemorySink::write(const float* src, std::int64_t frames) {
  if (frames > 0) mBuffer->samples.insert(mBuffer->samples.end(), src, src + frames * mBuffer->channels);
  return true;
}

// ---- formats ----

std::string AudioFormat::Describe() const {
  std::string text = Extension();
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  switch (code & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return text + " 8-bit";
    case SF_FORMAT_PCM_16: return text + " 16-bit";
    case SF_FORMAT_PCM_24: return text + " 24-bit";
    case SF_FORMAT_PCM_32: return text + " 32-bit";
    case SF_FORMAT_FLOAT: return text + " float";
    case SF_FORMAT_DOUBLE: return text + " double";
    case SF_FORMAT_VORBIS: return text + " Vorbis";
    case SF_FORMAT_OPUS: return text + " Opus";
    default: return text;
  }
}

std::string AudioFormat::Extension() const {
  SF_FORMAT_INFO major{};
  major.format = code & SF_FORMAT_TYPEMASK;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major) != 0 || !major.extension)
    return "wav";
  // libsndfile names Ogg files by their old audio extension.
  return major.format == SF_FORMAT_OGG ? "ogg" : major.extension;
}

bool AudioFormat::SameContainer(AudioFormat other) const {
  return (code & SF_FORMAT_TYPEMASK) == (other.code & SF_FORMAT_TYPEMASK);
}

AudioFormat WavFloatFormat() { return {SF_FORMAT_WAV | SF_FORMAT_FLOAT}; }
AudioFormat Wav16Format() { return {SF_FORMAT_WAV | SF_FORMAT_PCM_16}; }
AudioFormat FlacFormat() { return {SF_FORMAT_FLAC | SF_FORMAT_PCM_16}; }
AudioFormat AiffFormat() { return {SF_FORMAT_AIFF | SF_FORMAT_PCM_16}; }
AudioFormat OggVorbisFormat() { return {SF_FORMAT_OGG | SF_FORMAT_VORBIS}; }

bool ChooseOutputFormat(const std::string& name, const std::string& path, AudioFormat input,
                        AudioFormat* out, std::string* error) {
  int major = 0;
  if (!name.empty()) {
    major = MajorForName(name);
    if (!major) {
      if (error) *error = "unknown output format '" + name + "' (choose wav, flac, aiff or ogg)";
      return false;
    }
  } else {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) major = MajorForName(ext.substr(1));
  }
  int inMajor = input.code & SF_FORMAT_TYPEMASK;
  if (!major || major == inMajor) {
    *out = input;
    return true;
  }
  int sub = input.code & SF_FORMAT_SUBMASK;
  // Probe with a common rate and channel count: only the pairing matters here.
  out->code = Valid(major | sub, 44100, 2) ? (major | sub) : (major | DefaultSubtype(major));
  return true;
}

// ---- reader ----

std::unique_ptr<AudioFileReader> AudioFileReader::Open(const std::string& path,
                                                       std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    if (error) *error = "cannot read " + path + ": it is a folder";
    return nullptr;
  }
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    if (error) *error = "cannot read " + path + ": " + sf_strerror(nullptr);
    return nullptr;
  }
  if (info.channels < 1 || info.samplerate < 1 || info.frames < 0) {
    sf_close(file);
    if (error) *error = "cannot read " + path + ": the file declares no usable audio";
    return nullptr;
  }
  std::unique_ptr<AudioFileReader> r(new AudioFileReader());
  r->mFile = file;
  r->mRate = info.samplerate;
  r->mChannels = info.channels;
  r->mFrames = info.frames;
  r->mFormat.code = info.format;
  r->mPath = path;
  return r;
}

AudioFileReader::~AudioFileReader() {
  if (mFile) sf_close(Handle(mFile));
}

std::int64_t AudioFileReader::read(float* dst, std::int64_t maxFrames) {
  if (maxFrames <= 0) return 0;
  sf_count_t got = sf_readf_float(Handle(mFile), dst, maxFrames);
  if (got < maxFrames && sf_error(Handle(mFile)) != SF_ERR_NO_ERROR) {
    mError = "cannot read " + mPath + ": " + sf_strerror(Handle(mFile));
    return -1;
  }
  return got;
}

// ---- writer ----

std::unique_ptr<AudioFileWriter> AudioFileWriter::Create(const std::string& path,
                                                         AudioFormat format, int sampleRate,
                                                         int channels, std::string* error) {
  if (!Valid(format.code, sampleRate, channels)) {
    if (error)
      *error = "cannot write " + format.Describe() + " with " + std::to_string(channels) +
               " channel(s) at " + std::to_string(sampleRate) + " Hz";
    return nullptr;
  }
  namespace fs = std::filesystem;
  fs::path target(path);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  // Hidden and unique in the same folder, so the final rename cannot cross file systems.
  std::string pattern = (folder / ("." + target.filename().string() + ".partial-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) {
    if (error) *error = "cannot write into " + folder.string() + ": " + std::strerror(errno);
    return nullptr;
  }
  // mkstemp makes the file private; the result should get the usual permissions.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);

  std::unique_ptr<AudioFileWriter> w(new AudioFileWriter());
  w->mPath = path;
  w->mTempPath = name.data();
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format.code;
  SNDFILE* file = sf_open(w->mTempPath.c_str(), SFM_WRITE, &info);
  if (!file) {
    if (error) *error = "cannot write " + path + ": " + sf_strerror(nullptr);
    return nullptr;  // the destructor removes the temporary file
  }
  // A doubler can exceed full scale; integer formats clip instead of wrapping round.
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  w->mFile = file;
  return w;
}

AudioFileWriter::~AudioFileWriter() {
  if (!mCommitted) Discard();
}

void AudioFileWriter::Discard() {
  if (mFile) sf_close(Handle(mFile));
  mFile = nullptr;
  if (!mTempPath.empty()) std::remove(mTempPath.c_str());
}

bool AudioFileWriter::write(const float* src, std::int64_t frames) {
  if (!mFile) return false;
  if (frames <= 0) return true;
  if (sf_writef_float(Handle(mFile), src, frames) != frames) {
    mError = "cannot write " + mPath + ": " + sf_strerror(Handle(mFile));
    return false;
  }
  return true;
}

bool AudioFileWriter::Commit() {
  if (!mFile || !mError.empty()) {
    Discard();
    return false;
  }
  int closed = sf_close(Handle(mFile));
  mFile = nullptr;
  if (closed != 0) {
    mError = "cannot finish " + mPath + ": " + sf_error_number(closed);
    Discard();
    return false;
  }
  if (std::rename(mTempPath.c_str(), mPath.c_str()) != 0) {
    mError = "cannot create " + mPath + ": " + std::strerror(errno);
    Discard();
    return false;
  }
  mCommitted = true;
  return true;
}

// ---- whole files ----

bool ReadAudioFile(const std::string& path, AudioBuffer* out, AudioFormat* format,
                   std::string* error) {
  auto reader = AudioFileReader::Open(path, error);
  if (!reader) return false;
  AudioBuffer buffer;
  buffer.sampleRate = reader->sampleRate();
  buffer.channels = reader->channels();
  buffer.samples.resize(static_cast<std::size_t>(reader->frames() * reader->channels()));
  std::int64_t got = reader->read(buffer.samples.data(), reader->frames());
  if (got < 0) {
    if (error) *error = reader->error();
    return false;
  }
  buffer.samples.resize(static_cast<std::size_t>(got * reader->channels()));
  if (format) *format = reader->format();
  *out = std::move(buffer);
  return true;
}

bool WriteAudioFile(const std::string& path, const AudioBuffer& buffer, AudioFormat format,
                    std::string* error) {
  auto writer = AudioFileWriter::Create(path, format, buffer.sampleRate, buffer.channels, error);
  if (!writer) return false;
  if (!writer->write(buffer.samples.data(), buffer.frames()) || !writer->Commit()) {
    if (error) *error = writer->error();
    return false;
  }
  return true;
}
