#pragma once
// A small stand-in for the parts of the macOS Carbon Event Manager and Apple
// Event Manager that the macOS program uses, so that its start-up and quit
// code builds and runs on other systems. Events reach the installed handlers
// only through the deliver functions at the end, which the tests call.
#include "KsqxJuce.h"
#include <cstdint>

using OSStatus = std::int32_t;
using OSErr = std::int16_t;
using OSType = std::uint32_t;
using UInt32 = std::uint32_t;
using ItemCount = unsigned long;
using SRefCon = void*;
using EventParamName = OSType;
using EventParamType = OSType;
using DescType = OSType;
using AEKeyword = OSType;
using AEEventClass = OSType;
using AEEventID = OSType;
using Size = long;

constexpr OSStatus noErr = 0;
constexpr OSStatus eventNotHandledErr = -9874;
constexpr OSStatus eventParameterNotFoundErr = -9870;
constexpr OSErr errAEDescNotFound = -1701;
constexpr OSErr errAECoercionFail = -1700;

constexpr OSType ksqxFourCC(const char (&s)[5])
{
    return ((OSType) (unsigned char) s[0] << 24) | ((OSType) (unsigned char) s[1] << 16)
           | ((OSType) (unsigned char) s[2] << 8) | (OSType) (unsigned char) s[3];
}

constexpr OSType kEventClassCommand = ksqxFourCC("cmds");
constexpr UInt32 kEventCommandProcess = 1;
constexpr EventParamName kEventParamDirectObject = ksqxFourCC("----");
constexpr EventParamType typeHICommand = ksqxFourCC("hcmd");
constexpr UInt32 kHICommandQuit = ksqxFourCC("quit");
constexpr AEEventClass kCoreEventClass = ksqxFourCC("aevt");
constexpr AEEventID kAEOpenDocuments = ksqxFourCC("odoc");
constexpr AEEventID kAEQuitApplication = ksqxFourCC("quit");
constexpr AEKeyword keyDirectObject = ksqxFourCC("----");
constexpr DescType typeAEList = ksqxFourCC("list");
constexpr DescType typeFSRef = ksqxFourCC("fsrf");
constexpr DescType typeWildCard = ksqxFourCC("****");

struct EventTypeSpec
{
    UInt32 eventClass;
    UInt32 eventKind;
};

struct HICommand // 14 bytes on the wire: attributes, command id, menu reference
{
    UInt32 attributes;
    UInt32 commandID;
    struct
    {
        void* menuRef;
        std::uint16_t menuItemIndex;
    } menu;
};

struct FSRef // an opaque 80-byte file reference; here it names an entry of the layer's path table
{
    std::uint8_t hidden[80];
};

struct OpaqueEventRef;
struct OpaqueEventHandlerCallRef;
struct OpaqueEventHandlerRef;
struct OpaqueEventTargetRef;
using EventRef = OpaqueEventRef*;
using EventHandlerCallRef = OpaqueEventHandlerCallRef*;
using EventHandlerRef = OpaqueEventHandlerRef*;
using EventTargetRef = OpaqueEventTargetRef*;

struct AEDesc
{
    DescType descriptorType = 0;
    void* dataHandle = nullptr;
};
using AppleEvent = AEDesc;
using AEDescList = AEDesc;

using EventHandlerProcPtr = OSStatus (*)(EventHandlerCallRef, EventRef, void*);
using EventHandlerUPP = EventHandlerProcPtr;
using AEEventHandlerProcPtr = OSErr (*)(const AppleEvent*, AppleEvent*, SRefCon);
using AEEventHandlerUPP = AEEventHandlerProcPtr;

EventTargetRef GetApplicationEventTarget();
EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr proc);
OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, ItemCount numTypes,
                             const EventTypeSpec* list, void* userData, EventHandlerRef* outRef);
UInt32 GetEventClass(EventRef event);
UInt32 GetEventKind(EventRef event);
OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType,
                           EventParamType* actualType, std::size_t bufferSize, std::size_t* actualSize,
                           void* outData);

AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc);
OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler,
                            SRefCon refcon, bool isSysHandler);
OSErr AEGetParamDesc(const AppleEvent* event, AEKeyword keyword, DescType desiredType, AEDescList* result);
OSErr AECountItems(const AEDescList* list, long* count);
OSErr AEGetNthPtr(const AEDescList* list, long index, DescType desiredType, AEKeyword* keyword,
                  DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEDisposeDesc(AEDesc* desc);

namespace MacPlatform
{
// The path of a file reference (the framework's makePathFromFSRef on macOS).
juce::String makePathFromFSRef(const FSRef* ref);

// The macOS system main menu.
void setMacMainMenu(juce::MenuBarModel* model);
juce::MenuBarModel* getMacMainMenu();

// Delivers a command-process event for the given command id to the handlers
// installed on the application target, the last installed first; when none
// handles it, the framework's own handling runs (for the Quit command:
// systemRequestedQuit). Returns the status of the last handler called.
OSStatus deliverCommandProcess(UInt32 commandID);
// Delivers an open-documents event naming the given paths; an empty path
// stands for an item that cannot be read.
OSErr deliverOpenDocuments(const juce::StringArray& paths);
// Delivers a quit-application event.
OSErr deliverQuitApplication();
// Forgets every installed handler (tests).
void resetForTests();
} // namespace MacPlatform
