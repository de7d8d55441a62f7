#include "MacEventLayer.h"
#include <cstring>
#include <vector>

namespace
{
struct CarbonHandler
{
    EventHandlerUPP proc;
    std::vector<EventTypeSpec> types;
    void* userData;
};

struct AEHandler
{
    AEEventClass eventClass;
    AEEventID eventID;
    AEEventHandlerUPP proc;
    SRefCon refcon;
};

struct State
{
    std::vector<CarbonHandler> carbonHandlers;
    std::vector<AEHandler> aeHandlers;
    juce::MenuBarModel* mainMenu = nullptr;
    // Every path a file reference was made for; a reference holds its index,
    // so a path of any length comes back whole, as from a real reference.
    juce::StringArray referencedPaths;
};

State& state()
{
    static State s;
    return s;
}

// The event objects the deliver functions hand to the handlers.
struct CommandEvent
{
    UInt32 eventClass;
    UInt32 eventKind;
    HICommand command;
};

struct OpenDocumentsEvent
{
    juce::StringArray paths;
};

OpaqueEventTargetRef* applicationTarget() { return reinterpret_cast<OpaqueEventTargetRef*>(&state()); }
} // namespace

EventTargetRef GetApplicationEventTarget() { return applicationTarget(); }
EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr proc) { return proc; }
AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc) { return proc; }

OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, ItemCount numTypes,
                             const EventTypeSpec* list, void* userData, EventHandlerRef* outRef)
{
    if (target != applicationTarget() || handler == nullptr)
        return -50; // paramErr
    state().carbonHandlers.push_back({handler, std::vector<EventTypeSpec>(list, list + numTypes), userData});
    if (outRef != nullptr)
        *outRef = reinterpret_cast<EventHandlerRef>(state().carbonHandlers.size());
    return noErr;
}

UInt32 GetEventClass(EventRef event) { return reinterpret_cast<CommandEvent*>(event)->eventClass; }
UInt32 GetEventKind(EventRef event) { return reinterpret_cast<CommandEvent*>(event)->eventKind; }

OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType,
                           EventParamType* actualType, std::size_t bufferSize, std::size_t* actualSize,
                           void* outData)
{
    auto* e = reinterpret_cast<CommandEvent*>(event);
    if (name != kEventParamDirectObject || desiredType != typeHICommand || e->eventClass != kEventClassCommand)
        return eventParameterNotFoundErr;
    // The record is 14 bytes on the wire: attributes, command id, menu reference and item.
    if (bufferSize < 8 || outData == nullptr)
        return -50;
    std::memcpy(outData, &e->command, std::min(bufferSize, sizeof(HICommand)));
    if (actualType != nullptr)
        *actualType = typeHICommand;
    if (actualSize != nullptr)
        *actualSize = 14;
    return noErr;
}

OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler,
                            SRefCon refcon, bool /*isSysHandler*/)
{
    auto& handlers = state().aeHandlers;
    // A new handler for the same event takes the place of the one before.
    for (auto& h : handlers)
        if (h.eventClass == eventClass && h.eventID == eventID)
        {
            h.proc = handler;
            h.refcon = refcon;
            return noErr;
        }
    handlers.push_back({eventClass, eventID, handler, refcon});
    return noErr;
}

OSErr AEGetParamDesc(const AppleEvent* event, AEKeyword keyword, DescType desiredType, AEDescList* result)
{
    if (event == nullptr || result == nullptr || keyword != keyDirectObject)
        return errAEDescNotFound;
    if (event->descriptorType != typeAEList || desiredType != typeAEList)
        return errAECoercionFail;
    *result = *event;
    return noErr;
}

OSErr AECountItems(const AEDescList* list, long* count)
{
    if (list == nullptr || list->descriptorType != typeAEList || count == nullptr)
        return errAEDescNotFound;
    *count = static_cast<OpenDocumentsEvent*>(list->dataHandle)->paths.size();
    return noErr;
}

OSErr AEGetNthPtr(const AEDescList* list, long index, DescType desiredType, AEKeyword* keyword,
                  DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize)
{
    if (list == nullptr || list->descriptorType != typeAEList)
        return errAEDescNotFound;
    auto* docs = static_cast<OpenDocumentsEvent*>(list->dataHandle);
    if (index < 1 || index > docs->paths.size())
        return errAEDescNotFound;
    const juce::String& path = docs->paths[(int) index - 1];
    if (desiredType != typeFSRef || path.isEmpty())
        return errAECoercionFail;
    if (maximumSize < (Size) sizeof(FSRef) || dataPtr == nullptr)
        return -50;
    auto& paths = state().referencedPaths;
    int entry = paths.indexOf(path);
    if (entry < 0)
    {
        paths.add(path);
        entry = paths.size() - 1;
    }
    FSRef ref {};
    const std::uint32_t stored = (std::uint32_t) entry + 1; // 0: no entry
    std::memcpy(ref.hidden, &stored, sizeof(stored));
    std::memcpy(dataPtr, &ref, sizeof(FSRef));
    if (keyword != nullptr)
        *keyword = keyDirectObject;
    if (typeCode != nullptr)
        *typeCode = typeFSRef;
    if (actualSize != nullptr)
        *actualSize = sizeof(FSRef);
    return noErr;
}

OSErr AEDisposeDesc(AEDesc* desc)
{
    if (desc != nullptr)
        *desc = AEDesc();
    return noErr;
}

namespace MacPlatform
{
juce::String makePathFromFSRef(const FSRef* ref)
{
    if (ref == nullptr)
        return {};
    std::uint32_t stored = 0;
    std::memcpy(&stored, ref->hidden, sizeof(stored));
    return state().referencedPaths[(int) stored - 1];
}

void setMacMainMenu(juce::MenuBarModel* model) { state().mainMenu = model; }
juce::MenuBarModel* getMacMainMenu() { return state().mainMenu; }

OSStatus deliverCommandProcess(UInt32 commandID)
{
    CommandEvent event {kEventClassCommand, kEventCommandProcess, {0, commandID, {nullptr, 0}}};
    auto handlers = state().carbonHandlers;
    OSStatus status = eventNotHandledErr;
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it)
    {
        bool wanted = false;
        for (const auto& t : it->types)
            wanted = wanted || (t.eventClass == event.eventClass && t.eventKind == event.eventKind);
        if (!wanted)
            continue;
        status = it->proc(nullptr, reinterpret_cast<EventRef>(&event), it->userData);
        if (status != eventNotHandledErr)
            return status;
    }
    // The framework's own handling of the Quit command.
    if (commandID == kHICommandQuit)
        if (auto* app = juce::JUCEApplicationBase::getInstance())
            app->systemRequestedQuit();
    return status;
}

static OSErr deliverAppleEvent(AEEventID id, OpenDocumentsEvent* docs)
{
    for (const auto& h : state().aeHandlers)
        if (h.eventClass == kCoreEventClass && h.eventID == id)
        {
            AppleEvent event;
            event.descriptorType = docs != nullptr ? typeAEList : typeWildCard;
            event.dataHandle = docs;
            AppleEvent reply;
            return h.proc(&event, &reply, h.refcon);
        }
    return errAEDescNotFound;
}

OSErr deliverOpenDocuments(const juce::StringArray& paths)
{
    OpenDocumentsEvent docs {paths};
    return deliverAppleEvent(kAEOpenDocuments, &docs);
}

OSErr deliverQuitApplication() { return deliverAppleEvent(kAEQuitApplication, nullptr); }

void resetForTests()
{
    state().carbonHandlers.clear();
    state().aeHandlers.clear();
    state().mainMenu = nullptr;
}
} // namespace MacPlatform
