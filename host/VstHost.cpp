#include "host/VstHost.h"

#include <dlfcn.h>

#include <cstring>

std::unique_ptr<VstModule> VstModule::Load(const std::string& path, std::string* error) {
  // dlopen reads a name without a slash as a library to search for (and an
  // empty one as the running program); a user typing DUV.so means the file here.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) *error = dlerror();
    return nullptr;
  }
  auto entry = reinterpret_cast<EntryProc>(dlsym(handle, "VSTPluginMain"));
  if (!entry) entry = reinterpret_cast<EntryProc>(dlsym(handle, "main"));
  if (!entry) {
    if (error) *error = "no VST 2 entry point in " + path;
    dlclose(handle);
    return nullptr;
  }
  return std::unique_ptr<VstModule>(new VstModule(handle, entry));
}

VstModule::~VstModule() { dlclose(mHandle); }

VstModule::EntryProc VstModule::EntryByName(const char* name) const {
  return reinterpret_cast<EntryProc>(dlsym(mHandle, name));
}

namespace {
// The instance being created: the plug-in may call the host before its record
// carries our pointer.
thread_local VstPlugin* tCreating = nullptr;
}  // namespace

std::unique_ptr<VstPlugin> VstPlugin::Create(const VstModule& module, const HostConfig& config,
                                             std::string* error, VstModule::EntryProc entry) {
  std::unique_ptr<VstPlugin> plugin(new VstPlugin(config));
  tCreating = plugin.get();
  AEffect* effect = (entry ? entry : module.Entry())(HostCallback);
  tCreating = nullptr;
  if (!effect || effect->magic != kEffectMagic) {
    if (error) *error = effect ? "not a VST 2 effect record" : "the plug-in refused to start";
    return nullptr;
  }
  effect->user = plugin.get();
  plugin->mEffect = effect;
  return plugin;
}

VstPlugin::~VstPlugin() { Close(); }

void VstPlugin::Close() {
  if (!mEffect) return;
  mEffect->dispatcher(mEffect, effClose, 0, 0, nullptr, 0.0f);
  mEffect = nullptr;
}

VstIntPtr VstPlugin::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                              float opt) {
  return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
}

VstIntPtr VstPlugin::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                  VstIntPtr value, void* ptr, float opt) {
  VstPlugin* host = effect && effect->user ? static_cast<VstPlugin*>(effect->user) : tCreating;
  if (!host) return opcode == audioMasterVersion ? 2400 : 0;
  return host->Answer(opcode, index, value, ptr, opt);
}

VstIntPtr VstPlugin::Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                            float opt) {
  {
    std::lock_guard<std::mutex> guard(mCallsMutex);
    if (opcode >= 0 && opcode < 64) ++mQueryCounts[opcode];
    if (opcode == audioMasterAutomate || opcode == audioMasterBeginEdit ||
        opcode == audioMasterEndEdit)
      mCalls.push_back({opcode, index, value, opt});
  }
  switch (opcode) {
    case audioMasterVersion:
      return 2400;
    case audioMasterGetTime:
      return mConfig.provideTime ? reinterpret_cast<VstIntPtr>(&mConfig.timeInfo) : 0;
    case audioMasterGetProductString:
      if (ptr) {
        // The interface allows 64 bytes here.
        std::strncpy(static_cast<char*>(ptr), mConfig.productString.c_str(), 63);
        static_cast<char*>(ptr)[63] = '\0';
        return 1;
      }
      return 0;
    case audioMasterGetVendorVersion:
      return mConfig.vendorVersion;
    default:
      return 0;
  }
}

std::vector<HostCall> VstPlugin::Calls() const {
  std::lock_guard<std::mutex> guard(mCallsMutex);
  return mCalls;
}

void VstPlugin::ClearCalls() {
  std::lock_guard<std::mutex> guard(mCallsMutex);
  mCalls.clear();
}

int VstPlugin::HostQueries(VstInt32 opcode) const {
  std::lock_guard<std::mutex> guard(mCallsMutex);
  return opcode >= 0 && opcode < 64 ? mQueryCounts[opcode] : 0;
}

std::string VstPlugin::TextCall(VstInt32 opcode, VstInt32 index) {
  // Hosts give generous buffers; 256 bytes covers every text opcode.
  char text[256] = {};
  Dispatch(opcode, index, 0, text);
  text[sizeof text - 1] = '\0';
  return text;
}

std::string VstPlugin::EffectName() { return TextCall(effGetEffectName, 0); }
std::string VstPlugin::VendorString() { return TextCall(effGetVendorString, 0); }
std::string VstPlugin::ProductString() { return TextCall(effGetProductString, 0); }
std::string VstPlugin::ParamName(int index) { return TextCall(effGetParamName, index); }
std::string VstPlugin::ParamLabel(int index) { return TextCall(effGetParamLabel, index); }
std::string VstPlugin::ParamDisplay(int index) { return TextCall(effGetParamDisplay, index); }
std::string VstPlugin::ProgramName() { return TextCall(effGetProgramName, 0); }
std::string VstPlugin::ProgramNameIndexed(int index) {
  return TextCall(effGetProgramNameIndexed, index);
}

std::vector<std::uint8_t> VstPlugin::GetChunk(bool program) {
  void* data = nullptr;
  VstIntPtr size = Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
  if (size <= 0 || !data) return {};
  auto* bytes = static_cast<const std::uint8_t*>(data);
  return std::vector<std::uint8_t>(bytes, bytes + size);
}

bool VstPlugin::SetChunk(const std::vector<std::uint8_t>& bytes, bool program) {
  return Dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(bytes.size()),
                  const_cast<std::uint8_t*>(bytes.data())) == 1;
}

bool VstPlugin::EditorRect(ERect* rect) {
  ERect* r = nullptr;
  if (Dispatch(effEditGetRect, 0, 0, &r) != 1 || !r) return false;
  if (rect) *rect = *r;
  return true;
}
