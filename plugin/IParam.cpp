#include "plugin/IParam.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "plugin/Text.h"

void IParam::SetupDouble(const char* name, double defaultValue, double min, double max,
                         double step, const char* label) {
  if (mType == kTypeNone) mType = kTypeDouble;
  CopyText(mName, name, sizeof mName);
  CopyText(mLabel, label, sizeof mLabel);
  mValue = defaultValue;
  mMin = min;
  mMax = std::max(max, min + step);
  mStep = step;
  // Digits after the point: how often the step must be scaled by ten to be whole.
  mDisplayPrecision = 0;
  for (double s = step; s != std::floor(s) && mDisplayPrecision < 6; s *= 10.0)
    ++mDisplayPrecision;
}

void IParam::SetupInt(const char* name, int defaultValue, int min, int max, const char* label) {
  if (mType == kTypeNone) mType = kTypeInt;
  SetupDouble(name, defaultValue, min, max, 1.0, label);
}

void IParam::SetupEnum(const char* name, int defaultValue, int count) {
  if (mType == kTypeNone) mType = kTypeEnum;
  SetupDouble(name, defaultValue, 0.0, count - 1, 1.0, "");
}

void IParam::SetupBool(const char* name, bool defaultValue) {
  if (mType == kTypeNone) mType = kTypeBool;
  SetupDouble(name, defaultValue ? 1.0 : 0.0, 0.0, 1.0, 1.0, "");
  AddDisplayText(0, "off");
  AddDisplayText(1, "on");
}

void IParam::AddDisplayText(int value, const char* text) {
  DisplayText entry{value, {}};
  CopyText(entry.text, text, sizeof entry.text);
  mDisplayTexts.push_back(entry);
}

const char* IParam::DisplayTextFor(int value) const {
  for (const DisplayText& entry : mDisplayTexts)
    if (entry.value == value) return entry.text;
  return "";
}

bool IParam::ValueForDisplayText(const char* text, int* value) const {
  if (!text) return false;
  for (const DisplayText& entry : mDisplayTexts) {
    if (std::strcmp(entry.text, text) == 0) {
      if (value) *value = entry.value;
      return true;
    }
  }
  return false;
}

void IParam::Set(double plain) {
  if (std::isnan(plain)) return;  // a NaN from a damaged chunk must not reach the audio code
  if (plain < mMin) plain = mMin;
  if (plain > mMax) plain = mMax;
  mValue = plain;
}

void IParam::SetFromNormalized(double normalized) {
  if (std::isnan(normalized)) return;
  double v = mMin + std::pow(normalized, mShape) * (mMax - mMin);
  if (mType != kTypeDouble) v = std::floor(v / mStep + 0.5) * mStep;
  if (v > mMax) v = mMax;
  // Hosts can send values below 0; below min they would reach the audio code
  // out of range (a negative delay reads outside the history).
  if (v < mMin) v = mMin;
  mValue = v;
}

double IParam::NormalizedOf(double plain) const {
  double v = plain < mMin ? mMin : (plain > mMax ? mMax : plain);
  return std::pow((v - mMin) / (mMax - mMin), 1.0 / mShape);
}

void IParam::FormatForHost(double value, bool normalized, char* out) const {
  if (!out) return;
  if (normalized) value = mMin + std::pow(value, mShape) * (mMax - mMin);
  const char* text = DisplayTextFor(TruncToInt(value));
  if (*text) {
    CopyText(out, text, kTextCapacity);
    return;
  }
  if (mNegateDisplay) value = -value;
  if (value == 0.0) {
    CopyText(out, "0", kTextCapacity);
  } else if (mDisplayPrecision == 0) {
    std::snprintf(out, kTextCapacity, "%d", TruncToInt(value));
  } else {
    std::snprintf(out, kTextCapacity, "%.*f", mDisplayPrecision, value);
  }
}
