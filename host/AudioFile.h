// Sound files for the offline renderer: streaming readers and writers over
// libsndfile, and an in-memory buffer for generated material and tests.
//
// Samples are 32-bit floats, interleaved, nominally -1..1 (a writer to an
// integer format clips what lies outside instead of wrapping). Frames count
// one sample per channel. Everything here runs on the caller's thread; one
// object must not be used by two threads at once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Interleaved audio held in memory.
struct AudioBuffer {
  int sampleRate = 44100;  // Hz
  int channels = 1;        // 1 or more
  std::vector<float> samples;  // frames() * channels values, interleaved

  std::int64_t frames() const {
    return channels > 0 ? static_cast<std::int64_t>(samples.size()) / channels : 0;
  }
  float& at(std::int64_t frame, int channel) {
    return samples[static_cast<std::size_t>(frame * channels + channel)];
  }
  float at(std::int64_t frame, int channel) const {
    return samples[static_cast<std::size_t>(frame * channels + channel)];
  }
};

// Where the renderer takes frames from.
class AudioSource {
 public:
  virtual ~AudioSource() = default;
  virtual int sampleRate() const = 0;
  virtual int channels() const = 0;
  virtual std::int64_t frames() const = 0;  // total length, known up front
  // Reads up to maxFrames frames into dst (maxFrames * channels() floats).
  // Returns the frames read: fewer only at the end, 0 after it; -1 on a read
  // error (error() then says what happened).
  virtual std::int64_t read(float* dst, std::int64_t maxFrames) = 0;
  virtual std::string error() const { return {}; }
};

// Where the renderer puts frames.
class AudioSink {
 public:
  virtual ~AudioSink() = default;
  // Writes frames frames from src (frames * channels floats). False on a
  // write error (error() says what happened); later writes may be skipped.
  virtual bool write(const float* src, std::int64_t frames) = 0;
  virtual std::string error() const { return {}; }
};

// Reads an AudioBuffer from the start; never fails.
class MemorySource : public AudioSource {
 public:
  explicit MemorySource(const AudioBuffer& buffer) : mBuffer(buffer) {}  // buffer outlives this
  int sampleRate() const override { return mBuffer.sampleRate; }
  int channels() const override { return mBuffer.channels; }
  std::int64_t frames() const override { return mBuffer.frames(); }
  std::int64_t read(float* dst, std::int64_t maxFrames) override;

 private:
  const AudioBuffer& mBuffer;
  std::int64_t mPos = 0;
};

// Appends to an AudioBuffer whose rate and channel count the caller has set.
class MemorySink : public AudioSink {
 public:
  explicit MemorySink(AudioBuffer* buffer) : mBuffer(buffer) {}  // buffer outlives this
  bool write(const float* src, std::int64_t frames) override;

 private:
  AudioBuffer* mBuffer;
};

// The container and encoding of a sound file, as libsndfile codes them
// (SF_FORMAT_* major type or'ed with a subtype).
struct AudioFormat {
  int code = 0;
  std::string Describe() const;   // e.g. "FLAC 16-bit", "WAV float", "OGG Opus", "MP3"
  std::string Extension() const;  // the usual file extension, e.g. "flac", "opus", "mp3"
  bool IsInteger() const;  // integer PCM samples: values beyond full scale clip
  bool IsFloat() const;    // float or double samples: values beyond full scale are kept
  bool SameContainer(AudioFormat other) const;  // same major type, any subtype
};

// Reads any file libsndfile reads, from a path or "-" (standard input). A
// pipe, device or standard input is first read to its end into an unlinked
// temporary file ($TMPDIR), since most formats need seeking.
class AudioFileReader : public AudioSource {
 public:
  // Null with *error set ("cannot read in.wav: <reason>", "in.wav is empty (0 bytes)").
  static std::unique_ptr<AudioFileReader> Open(const std::string& path, std::string* error);
  ~AudioFileReader() override;
  AudioFileReader(const AudioFileReader&) = delete;
  AudioFileReader& operator=(const AudioFileReader&) = delete;

  int sampleRate() const override { return mRate; }
  int channels() const override { return mChannels; }
  std::int64_t frames() const override { return mFrames; }
  std::int64_t read(float* dst, std::int64_t maxFrames) override;
  std::string error() const override { return mError; }
  AudioFormat format() const { return mFormat; }
  // The length the file's header claims, at least frames(): more when a WAV
  // or AIFF was cut short (libsndfile's frames() counts only what is there).
  std::int64_t claimedFrames() const { return mClaimedFrames; }

 private:
  AudioFileReader() = default;
  void* mFile = nullptr;  // SNDFILE*
  int mFd = -1;           // the descriptor under mFile when it was opened from one
  int mRate = 0, mChannels = 0;
  std::int64_t mFrames = 0, mClaimedFrames = 0;
  AudioFormat mFormat;
  std::string mPath, mError;
  // 16-bit WAV and AIFF are read as integers and scaled here: the same floats
  // libsndfile's own conversion gives (k / 32768 is exact), in a third of
  // its time. The buffer grows to the largest request once.
  bool mReadShorts = false;
  std::vector<short> mShorts;
};

// Writes a sound file that appears only when complete. For an ordinary file
// (or a name where nothing is yet) frames go to a hidden temporary file in
// the target's folder and Commit() renames it onto the target, which keeps
// the replaced file's permissions. A symbolic link stays a link: the file it
// leads to is written, with the temporary file beside that. A FIFO, device
// or "-" (standard output) is never replaced: it is opened by Create(), the
// file is made in an unlinked temporary file ($TMPDIR) because libsndfile
// must seek to finish headers, and Commit() copies the bytes in. Destroying
// the writer without a successful Commit() removes the temporary file, so
// an error never leaves a partial output behind (a stream may have received
// part of the bytes if the copy itself failed).
class AudioFileWriter : public AudioSink {
 public:
  // Null with *error set when the format cannot hold this rate and channel
  // count, the path is a folder or a link loop, or the target cannot be
  // opened or its folder written. Opening a FIFO waits for its reader.
  static std::unique_ptr<AudioFileWriter> Create(const std::string& path, AudioFormat format,
                                                 int sampleRate, int channels,
                                                 std::string* error);
  ~AudioFileWriter() override;
  AudioFileWriter(const AudioFileWriter&) = delete;
  AudioFileWriter& operator=(const AudioFileWriter&) = delete;

  bool write(const float* src, std::int64_t frames) override;
  std::string error() const override { return mError; }
  // Closes the file and renames it onto the target, or copies it into the
  // stream. keepGoing is asked when a signal interrupts the copy; false
  // stops it. False with error() set on failure (then nothing is left at a
  // regular target or in any folder).
  bool Commit(const std::function<bool()>& keepGoing = {});
  // The named temporary file beside a regular target; empty for streams.
  const std::string& tempPath() const { return mTempPath; }

 private:
  AudioFileWriter() = default;
  void Discard();
  void CloseStream();
  void* mFile = nullptr;  // SNDFILE*
  std::string mPath, mName, mFinalPath, mTempPath, mError;
  int mTempFd = -1;        // streams: the unlinked temporary file
  int mStreamFd = -1;      // streams: where Commit() copies to
  bool mOwnsStreamFd = false;  // false for standard output
  bool mCommitted = false;
  // 16-bit WAV and AIFF: samples are converted here, to exactly the bytes
  // libsndfile's clipping float writer gives, and written as integers.
  int mChannels = 0;
  bool mWriteShorts = false;
  std::vector<short> mShorts;
};

// The format to write. `name` (wav, flac, aiff/aif/aifc, ogg/oga, mp3, opus,
// any letter case; empty for none) wins; else the extension of `path` names
// it; a path that is "-", empty or without an extension, or whose extension
// is the input's own container's, keeps the input's format. Changing the
// container keeps the input's sample format (16/24-bit, float) where the new
// one holds it, else takes 16-bit PCM (Vorbis for ogg); mp3 and opus are
// always MP3 and Opus in Ogg. floatSamples asks for 32-bit float samples,
// which WAV and AIFF (as AIFC) hold. False with one line in *error, and *out
// unchanged, for an unknown name or extension, or float in a container
// (FLAC, Ogg, MP3) that cannot hold it.
bool ChooseOutputFormat(const std::string& name, const std::string& path, AudioFormat input,
                        bool floatSamples, AudioFormat* out, std::string* error);

// Reads a whole file into memory (for tests and small tools).
bool ReadAudioFile(const std::string& path, AudioBuffer* out, AudioFormat* format,
                   std::string* error);
// Writes a whole buffer through AudioFileWriter (same all-or-nothing rule).
bool WriteAudioFile(const std::string& path, const AudioBuffer& buffer, AudioFormat format,
                    std::string* error);

// libsndfile format codes for the four containers named above.
AudioFormat WavFloatFormat();
AudioFormat Wav16Format();
AudioFormat FlacFormat();  // 16-bit
AudioFormat AiffFormat();  // 16-bit
AudioFormat OggVorbisFormat();
