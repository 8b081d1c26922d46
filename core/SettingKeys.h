#pragma once

// Setting names shared by every program of the product family.
namespace kelvora_core {

extern const char* const kAdapters;
extern const char* const kProgramsToHook;
extern const char* const kUseWaveOutAdapter;
extern const char* const kUseFlashAdapter;
extern const char* const kModulesToIntercept;
extern const char* const kLLModules;
extern const char* const kInterceptionStrategy;
extern const char* const kFlashAdapter;
extern const char* const kMinRate;
extern const char* const kMaxRate;
extern const char* const kSlewRate;
extern const char* const kCurrentRate;
extern const char* const kWriteHeaderCount;
extern const char* const kResponsiveness;
extern const char* const kBufferSize;
extern const char* const kUsageData;
extern const char* const kInstanceId;
extern const char* const kUI;
extern const char* const kIsFirstLaunch;
extern const char* const kIsSliderVisible;
extern const char* const kShowSliderWhenActive;
extern const char* const kShowBallonWhenActive;
extern const char* const kShowBallonWhenSpeedChanges;
extern const char* const kAutoCheckForUpdates;
extern const char* const kDispUpdateMsgs;
extern const char* const kLastUpdateCheck;
extern const char* const kLastUpdateMsgId;
extern const char* const kSliderExpanded;
extern const char* const kAlwaysStartAtOneX;
extern const char* const kLaunchAtLogin;
extern const char* const kUseHotKeys;
extern const char* const kPreferredSpeed;
extern const char* const kHotKeyShowSlider;
extern const char* const kHotKeyFaster;
extern const char* const kHotKeySlower;
extern const char* const kHotKeyNormal;
extern const char* const kHotKeyPreferred;

// Name of the kernel object that marks a running flash adapter.
extern const char* const kFlashAdapterIsActiveMutex;

} // namespace kelvora_core
