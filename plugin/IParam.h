// One automatable parameter: kind, range, step, current plain value, name,
// unit label and optional texts shown in place of particular integer values.
//
// The host sees a normalised 0..1 value and display text; the audio code reads
// the plain value. All operations are allocation-free except the setup calls
// and AddDisplayText, which run only while the plug-in is being built.
// Not thread-safe on its own: the plug-in's instance lock guards it.
#pragma once

#include <vector>

class IParam {
 public:
  enum EParamType { kTypeNone = 0, kTypeBool = 1, kTypeInt = 2, kTypeEnum = 3, kTypeDouble = 4 };
  static constexpr int kTextCapacity = 32;  // bytes, terminator included

  // Setup: the first call fixes the type; names and labels are cut to 31 characters.
  // The default is stored as passed (not clamped); max is raised to min + step if below it.
  void SetupDouble(const char* name, double defaultValue, double min, double max, double step,
                   const char* label = "");
  void SetupInt(const char* name, int defaultValue, int min, int max, const char* label = "");
  void SetupEnum(const char* name, int defaultValue, int count);
  void SetupBool(const char* name, bool defaultValue);
  void AddDisplayText(int value, const char* text);

  int DisplayTextCount() const { return static_cast<int>(mDisplayTexts.size()); }
  // The text of the first entry for value, or "" when there is none.
  const char* DisplayTextFor(int value) const;
  // Case-sensitive whole-text lookup; on failure value is left untouched.
  bool ValueForDisplayText(const char* text, int* value) const;

  // Both ignore NaN (the value stays as it was).
  void Set(double plain);                     // clamped to [min, max], not rounded
  void SetFromNormalized(double normalized);  // rounded to the step unless double; clamped
  double Value() const { return mValue; }
  double Normalized() const { return NormalizedOf(mValue); }
  double NormalizedOf(double plain) const;  // 0..1 for any plain value

  // Display text of a value (plain, or normalised when normalized is true) into
  // out, at most kTextCapacity bytes with the terminator. The label is not part of it.
  void FormatForHost(double value, bool normalized, char* out) const;
  void FormatForHost(char* out) const { FormatForHost(mValue, false, out); }

  const char* Name() const { return mName; }
  const char* Label() const { return mLabel; }
  EParamType Type() const { return mType; }
  double Min() const { return mMin; }
  double Max() const { return mMax; }
  double Step() const { return mStep; }
  int DisplayPrecision() const { return mDisplayPrecision; }

 private:
  struct DisplayText {
    int value;
    char text[kTextCapacity];
  };

  EParamType mType = kTypeNone;
  double mValue = 0.0;
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mShape = 1.0;  // exponent of the normalised mapping; always 1 (linear) here
  int mDisplayPrecision = 0;
  char mName[kTextCapacity] = {};
  char mLabel[kTextCapacity] = {};
  bool mNegateDisplay = false;
  std::vector<DisplayText> mDisplayTexts;
};
