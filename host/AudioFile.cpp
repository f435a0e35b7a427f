#include "host/AudioFile.h"

#include <sndfile.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "host/FileTargets.h"
#include "host/Pcm16.h"

namespace fs = std::filesystem;

namespace {

SNDFILE* Handle(void* p) { return static_cast<SNDFILE*>(p); }

// libsndfile's reason for a failure, without the "Error : " some reasons start with.
std::string Reason(SNDFILE* file) {
  std::string r = sf_strerror(file);
  const std::string prefix = "Error : ";
  return r.rfind(prefix, 0) == 0 ? r.substr(prefix.size()) : r;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The formats duv-render writes by name or extension; the first name of each
// format is the one messages use. A fixed subtype is the codec that the name
// itself means (an .opus file is Opus in an Ogg container); the others keep
// the input's sample format where the container holds it.
struct FormatName {
  const char* name;
  int major;
  int fixedSubtype;  // 0: the input's, else defaultSubtype
  int defaultSubtype;
};
const FormatName kFormats[] = {
    {"wav", SF_FORMAT_WAV, 0, SF_FORMAT_PCM_16},
    {"flac", SF_FORMAT_FLAC, 0, SF_FORMAT_PCM_16},
    {"aiff", SF_FORMAT_AIFF, 0, SF_FORMAT_PCM_16},
    {"aif", SF_FORMAT_AIFF, 0, SF_FORMAT_PCM_16},
    {"aifc", SF_FORMAT_AIFF, 0, SF_FORMAT_PCM_16},
    {"ogg", SF_FORMAT_OGG, 0, SF_FORMAT_VORBIS},
    {"oga", SF_FORMAT_OGG, 0, SF_FORMAT_VORBIS},
    {"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III, SF_FORMAT_MPEG_LAYER_III},
    {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS, SF_FORMAT_OPUS},
};
constexpr const char* kFormatList = "wav, flac, aiff, ogg, mp3, opus";

const FormatName* FormatForName(const std::string& name) {
  std::string n = Lower(name);
  for (const FormatName& f : kFormats)
    if (n == f.name) return &f;
  return nullptr;
}

// Sample formats that mean the same in every container; codecs (Vorbis,
// Opus, MP3, ADPCM, ...) belong to theirs and do not travel.
bool PlainSamples(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE: return true;
    default: return false;
  }
}

std::string ContainerName(int major) {
  return AudioFormat{major}.Describe();
}

bool Valid(int code, int rate, int channels) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = code;
  return sf_format_check(&info) != 0;
}

std::uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint32_t Be32(const unsigned char* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// Frames that a WAV or AIFF header claims, -1 for other files or no claim.
// libsndfile quietly shortens the length of a file cut off in transfer to
// what is there; the header still tells how long it was meant to be.
// Writers that cannot seek back (to a pipe) leave 0 or 0xFFFFFFFF as the
// data size: that is no claim. Reads with pread, so the file position of fd
// is left alone.
std::int64_t ClaimedFrames(int fd) {
  unsigned char head[12];
  if (pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) return -1;
  const bool wav = std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
  const bool aiff = std::memcmp(head, "FORM", 4) == 0 &&
                    (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0);
  if (!wav && !aiff) return -1;
  std::uint32_t blockAlign = 0;
  off_t at = 12;
  // A bounded walk: a header with a thousand chunks before its audio is not one to trust.
  for (int chunk = 0; chunk < 1000; ++chunk) {
    unsigned char c[8 + 16];
    ssize_t got = pread(fd, c, sizeof c, at);
    if (got < 8) return -1;
    const std::uint32_t size = wav ? Le32(c + 4) : Be32(c + 4);
    if (wav && std::memcmp(c, "fmt ", 4) == 0 && got >= 8 + 14) {
      blockAlign = c[8 + 12] | (c[8 + 13] << 8);
    } else if (wav && std::memcmp(c, "data", 4) == 0) {
      if (blockAlign == 0 || size == 0 || size == 0xFFFFFFFFu) return -1;
      return size / blockAlign;
    } else if (aiff && std::memcmp(c, "COMM", 4) == 0 && got >= 8 + 6) {
      return Be32(c + 8 + 2);
    }
    at += 8 + static_cast<off_t>(size) + (size & 1);
  }
  return -1;
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
  const int major = code & SF_FORMAT_TYPEMASK;
  std::string text = major == SF_FORMAT_OGG ? "ogg" : Extension();
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

bool AudioFormat::IsInteger() const {
  const int sub = code & SF_FORMAT_SUBMASK;
  return PlainSamples(sub) && sub != SF_FORMAT_FLOAT && sub != SF_FORMAT_DOUBLE;
}

bool AudioFormat::IsFloat() const {
  const int sub = code & SF_FORMAT_SUBMASK;
  return sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
}

std::string AudioFormat::Extension() const {
  const int major = code & SF_FORMAT_TYPEMASK;
  // libsndfile names Ogg files by their old audio extension and MPEG files by
  // layer I; people know them as .ogg, .opus and .mp3.
  if (major == SF_FORMAT_OGG) return (code & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS ? "opus" : "ogg";
  if (major == SF_FORMAT_MPEG) return "mp3";
  SF_FORMAT_INFO info{};
  info.format = major;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || !info.extension)
    return "wav";
  return info.extension;
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
                        bool floatSamples, AudioFormat* out, std::string* error) {
  const int inMajor = input.code & SF_FORMAT_TYPEMASK;
  const FormatName* named = nullptr;
  if (!name.empty()) {
    named = FormatForName(name);
    if (!named) {
      if (error) *error = "unknown output format '" + name + "' (choose " + kFormatList + ")";
      return false;
    }
  } else if (path != "-") {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) {
      named = FormatForName(ext.substr(1));
      // An extension of the input's own container (.au, .caf, ...) keeps it.
      if (!named && Lower(ext.substr(1)) != Lower(input.Extension())) {
        if (error)
          *error = "cannot tell the output format from the name '" + path +
                   "' (duv-render writes " + kFormatList + "; name one by extension or --format)";
        return false;
      }
    }
  }
  AudioFormat chosen = input;
  if (named) {
    const int inSub = input.code & SF_FORMAT_SUBMASK;
    int sub = named->defaultSubtype;
    if (named->fixedSubtype) {
      sub = named->fixedSubtype;
    } else if (named->major == inMajor) {
      sub = inSub;  // same container: everything kept
    } else if (PlainSamples(inSub) && Valid(named->major | inSub, 44100, 2)) {
      // Probed with a common rate and channel count: only the pairing matters here.
      sub = inSub;
    }
    chosen.code = named->major | sub;
  }
  if (floatSamples) {
    const int major = chosen.code & SF_FORMAT_TYPEMASK;
    if (!Valid(major | SF_FORMAT_FLOAT, 44100, 2) || (named && named->fixedSubtype)) {
      if (error)
        *error = "--float needs WAV or AIFF output: " +
                 (named && named->fixedSubtype ? AudioFormat{chosen.code}.Describe()
                                               : ContainerName(major)) +
                 " cannot hold float samples";
      return false;
    }
    chosen.code = major | SF_FORMAT_FLOAT;
  }
  *out = chosen;
  return true;
}

// ---- reader ----

std::unique_ptr<AudioFileReader> AudioFileReader::Open(const std::string& path,
                                                       std::string* error) {
  const std::string name = path == "-" ? "standard input" : path;
  auto fail = [&](const std::string& why) {
    if (error) *error = "cannot read " + name + ": " + why;
    return nullptr;
  };
  int fd = path == "-" ? fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                       : open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return fail(std::strerror(errno));
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    int err = errno;
    close(fd);
    return fail(std::strerror(err));
  }
  if (S_ISDIR(st.st_mode)) {
    close(fd);
    return fail("it is a folder");
  }
  SF_INFO info{};
  SNDFILE* file = nullptr;
  std::int64_t claimed = -1;
  if (S_ISREG(st.st_mode) && st.st_size == 0) {
    close(fd);
    if (error) *error = name + " is empty (0 bytes)";
    return nullptr;
  }
  if (S_ISREG(st.st_mode) && path != "-") {
    claimed = ClaimedFrames(fd);
    close(fd);
    fd = -1;
    file = sf_open(path.c_str(), SFM_READ, &info);
  } else {
    // A pipe, device or standard input: libsndfile must seek in most formats
    // and learns the length only at the end, so the bytes are read into an
    // unlinked temporary file first. A regular file as standard input is
    // read where it is.
    if (!S_ISREG(st.st_mode)) {
      std::string why;
      int spool = AnonymousTempFile(&why);
      if (spool < 0) {
        close(fd);
        return fail(why);
      }
      bool copied = CopyAll(fd, spool, {}, &why);
      close(fd);
      fd = spool;
      off_t size = lseek(fd, 0, SEEK_CUR);
      if (!copied || size < 0 || lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return fail(why.empty() ? std::strerror(errno) : why);
      }
      if (size == 0) {
        close(fd);
        if (error) *error = name + " is empty (0 bytes)";
        return nullptr;
      }
    }
    claimed = ClaimedFrames(fd);
    // The descriptor stays ours (libsndfile would close it on some failures only).
    file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    if (!file) {
      std::string why = Reason(nullptr);
      close(fd);
      return fail(why);
    }
  }
  if (!file) return fail(Reason(nullptr));
  std::unique_ptr<AudioFileReader> r(new AudioFileReader());
  r->mFile = file;
  r->mFd = fd;
  if (info.channels < 1 || info.samplerate < 1 || info.frames < 0)
    return fail("the file declares no usable audio");
  r->mRate = info.samplerate;
  r->mChannels = info.channels;
  r->mFrames = info.frames;
  r->mClaimedFrames = std::max<std::int64_t>(claimed, info.frames);
  r->mFormat.code = info.format;
  r->mPath = name;
  const int major = info.format & SF_FORMAT_TYPEMASK;
  r->mReadShorts = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 &&
                   (major == SF_FORMAT_WAV || major == SF_FORMAT_AIFF);
  return r;
}

AudioFileReader::~AudioFileReader() {
  if (mFile) sf_close(Handle(mFile));
  if (mFd >= 0) close(mFd);
}

std::int64_t AudioFileReader::read(float* dst, std::int64_t maxFrames) {
  if (maxFrames <= 0) return 0;
  sf_count_t got = 0;
  if (mReadShorts) {
    const std::size_t samples = static_cast<std::size_t>(maxFrames) * mChannels;
    if (mShorts.size() < samples) mShorts.resize(samples);
    got = sf_readf_short(Handle(mFile), mShorts.data(), maxFrames);
    Pcm16ToFloat(mShorts.data(), dst, got > 0 ? static_cast<std::size_t>(got) * mChannels : 0);
  } else {
    got = sf_readf_float(Handle(mFile), dst, maxFrames);
  }
  if (got < maxFrames && sf_error(Handle(mFile)) != SF_ERR_NO_ERROR) {
    mError = "cannot read " + mPath + ": " + Reason(Handle(mFile));
    return -1;
  }
  return got;
}

// ---- writer ----

std::unique_ptr<AudioFileWriter> AudioFileWriter::Create(const std::string& path,
                                                         AudioFormat format, int sampleRate,
                                                         int channels, std::string* error) {
  std::string why;
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return nullptr;
  };
  if (!Valid(format.code, sampleRate, channels))
    return fail("cannot write " + format.Describe() + " with " + std::to_string(channels) +
                " channel(s) at " + std::to_string(sampleRate) + " Hz");
  std::unique_ptr<AudioFileWriter> w(new AudioFileWriter());
  w->mPath = path;
  w->mName = path == "-" ? "standard output" : path;
  OutputTarget target;
  if (path == "-") {
    target.kind = OutputTarget::kStream;
    w->mStreamFd = STDOUT_FILENO;
  } else if (!ResolveOutput(path, &target, &why)) {
    return fail(why);
  }
  SNDFILE* file = nullptr;
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format.code;
  if (target.kind == OutputTarget::kStream) {
    // libsndfile seeks back to finish a header, which a pipe or device cannot
    // do: the file is made in a temporary file and copied in on Commit().
    // Opened now so that a target that cannot be written fails before the work.
    if (w->mStreamFd < 0) {
      w->mStreamFd = open(target.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      if (w->mStreamFd < 0) return fail("cannot write " + path + ": " + std::strerror(errno));
      w->mOwnsStreamFd = true;
    }
    w->mTempFd = AnonymousTempFile(&why);
    if (w->mTempFd < 0) return fail(why);
    file = sf_open_fd(w->mTempFd, SFM_WRITE, &info, SF_FALSE);
  } else {
    w->mFinalPath = target.path;
    fs::path final(target.path);
    fs::path folder = final.parent_path();
    if (folder.empty()) folder = ".";
    // Hidden and unique in the target's own folder, so the final rename
    // cannot cross file systems.
    std::string pattern = (folder / ("." + final.filename().string() + ".partial-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return fail("cannot write into " + folder.string() + ": " + std::strerror(errno));
    // mkstemp makes the file private; the result gets the replaced file's
    // permissions, or the usual ones for a new file.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, target.mode ? static_cast<mode_t>(target.mode) : (0666 & ~mask));
    close(fd);
    w->mTempPath = name.data();
    file = sf_open(w->mTempPath.c_str(), SFM_WRITE, &info);
  }
  if (!file) return fail("cannot write " + w->mName + ": " + Reason(nullptr));
  // A doubler can exceed full scale; integer formats clip instead of wrapping round.
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  w->mFile = file;
  w->mChannels = channels;
  const int major = format.code & SF_FORMAT_TYPEMASK;
  w->mWriteShorts = (format.code & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 &&
                    (major == SF_FORMAT_WAV || major == SF_FORMAT_AIFF);
  return w;  // on any failure above, the destructor removes what was made
}

AudioFileWriter::~AudioFileWriter() {
  if (!mCommitted) Discard();
  CloseStream();
}

void AudioFileWriter::CloseStream() {
  if (mOwnsStreamFd && mStreamFd >= 0) close(mStreamFd);
  mStreamFd = -1;
  mOwnsStreamFd = false;
}

void AudioFileWriter::Discard() {
  if (mFile) sf_close(Handle(mFile));
  mFile = nullptr;
  if (!mTempPath.empty()) std::remove(mTempPath.c_str());
  mTempPath.clear();
  if (mTempFd >= 0) close(mTempFd);
  mTempFd = -1;
}

bool AudioFileWriter::write(const float* src, std::int64_t frames) {
  if (!mFile) return false;
  if (frames <= 0) return true;
  if (mWriteShorts) {
    // In runs, so the buffer stays small whatever the caller hands over.
    constexpr std::int64_t kRun = 4096;
    const std::size_t channels = static_cast<std::size_t>(mChannels);
    if (mShorts.size() < kRun * channels) mShorts.resize(kRun * channels);
    for (std::int64_t done = 0; done < frames;) {
      const std::int64_t n = std::min(kRun, frames - done);
      FloatToPcm16(src + done * mChannels, mShorts.data(), static_cast<std::size_t>(n) * channels);
      if (sf_writef_short(Handle(mFile), mShorts.data(), n) != n) {
        mError = "cannot write " + mName + ": " + Reason(Handle(mFile));
        return false;
      }
      done += n;
    }
    return true;
  }
  if (sf_writef_float(Handle(mFile), src, frames) != frames) {
    mError = "cannot write " + mName + ": " + Reason(Handle(mFile));
    return false;
  }
  return true;
}

bool AudioFileWriter::Commit(const std::function<bool()>& keepGoing) {
  auto fail = [&](const std::string& message) {
    if (mError.empty()) mError = message;
    Discard();
    return false;
  };
  if (!mFile || !mError.empty()) return fail("cannot write " + mName);
  int closed = sf_close(Handle(mFile));
  mFile = nullptr;
  if (closed != 0) return fail("cannot finish " + mName + ": " + sf_error_number(closed));
  if (mStreamFd >= 0) {
    std::string why;
    if (lseek(mTempFd, 0, SEEK_SET) != 0 || !CopyAll(mTempFd, mStreamFd, keepGoing, &why))
      return fail("cannot write " + mName + ": " + (why.empty() ? std::strerror(errno) : why));
    int streamFd = mStreamFd;
    bool owned = mOwnsStreamFd;
    mStreamFd = -1;
    mOwnsStreamFd = false;
    if (owned && close(streamFd) != 0)
      return fail("cannot finish " + mName + ": " + std::strerror(errno));
    Discard();  // the temporary file goes; it has no name to leave behind
  } else if (std::rename(mTempPath.c_str(), mFinalPath.c_str()) != 0) {
    return fail("cannot create " + mName + ": " + std::strerror(errno));
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
