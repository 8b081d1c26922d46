#include "SettingKeys.h"

namespace kelvora_core {

const char* const kAdapters = "Adapters";
const char* const kProgramsToHook = "ProgramsToHook";
const char* const kUseWaveOutAdapter = "UseWaveOutAdapter";
const char* const kUseFlashAdapter = "UseFlashAdapter";
const char* const kModulesToIntercept = "ModulesToIntercept";
const char* const kLLModules = "LLModules";
const char* const kInterceptionStrategy = "InterceptionStrategy";
const char* const kFlashAdapter = "FlashAdapter";
const char* const kMinRate = "minRate";
const char* const kMaxRate = "maxRate";
const char* const kSlewRate = "slewRate";
const char* const kCurrentRate = "currentRate";
const char* const kWriteHeaderCount = "writeHeaderCount";
const char* const kResponsiveness = "responsiveness";
const char* const kBufferSize = "bufferSize";
const char* const kUsageData = "UsageData";
const char* const kInstanceId = "InstanceId";
const char* const kUI = "UI";
const char* const kIsFirstLaunch = "IsFirstLaunch";
const char* const kIsSliderVisible = "IsSliderVisible";
const char* const kShowSliderWhenActive = "ShowSliderWhenActive";
const char* const kShowBallonWhenActive = "ShowBallonWhenActive";
const char* const kShowBallonWhenSpeedChanges = "ShowBallonWhenSpeedChanges";
const char* const kAutoCheckForUpdates = "AutoCheckForUpdates";
const char* const kDispUpdateMsgs = "DispUpdateMsgs";
const char* const kLastUpdateCheck = "LastUpdateCheck";
const char* const kLastUpdateMsgId = "LastUpdateMsgId";
const char* const kSliderExpanded = "SliderExpanded";
const char* const kAlwaysStartAtOneX = "AlwaysStartAtOneX";
const char* const kLaunchAtLogin = "LaunchAtLogin";
const char* const kUseHotKeys = "UseHotKeys";
const char* const kPreferredSpeed = "PreferredSpeed";
const char* const kHotKeyShowSlider = "HotKeyShowSlider";
const char* const kHotKeyFaster = "HotKeyFaster";
const char* const kHotKeySlower = "HotKeySlower";
const char* const kHotKeyNormal = "HotKeyNormal";
const char* const kHotKeyPreferred = "HotKeyPreferred";
const char* const kFlashAdapterIsActiveMutex = "FlashAdapterIsActiveMutex";

} // namespace kelvora_core
