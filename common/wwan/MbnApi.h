// The Mobile Broadband interfaces that the service and the GUI use, declared here because
// the cross compiler ships no such header. The interfaces are C++ structs whose pure
// virtual methods stand in the order of their vtables; the identifiers are the documented
// ones.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <ocidl.h>

// ---- enumerations --------------------------------------------------------------------

typedef enum MBN_READY_STATE {
    MBN_READY_STATE_OFF = 0,
    MBN_READY_STATE_INITIALIZED = 1,
    MBN_READY_STATE_SIM_NOT_INSERTED = 2,
    MBN_READY_STATE_BAD_SIM = 3,
    MBN_READY_STATE_FAILURE = 4,
    MBN_READY_STATE_NOT_ACTIVATED = 5,
    MBN_READY_STATE_DEVICE_LOCKED = 6,
    MBN_READY_STATE_DEVICE_BLOCKED = 7,
    MBN_READY_STATE_NO_ESIM_PROFILE = 8
} MBN_READY_STATE;

typedef enum MBN_RADIO { MBN_RADIO_OFF = 0, MBN_RADIO_ON = 1 } MBN_RADIO;

typedef enum MBN_CELLULAR_CLASS {
    MBN_CELLULAR_CLASS_NONE = 0,
    MBN_CELLULAR_CLASS_GSM = 1,
    MBN_CELLULAR_CLASS_CDMA = 2
} MBN_CELLULAR_CLASS;

typedef enum MBN_VOICE_CLASS {
    MBN_VOICE_CLASS_NONE = 0,
    MBN_VOICE_CLASS_NO_VOICE = 1,
    MBN_VOICE_CLASS_SEPARATE_VOICE_DATA = 2,
    MBN_VOICE_CLASS_SIMULTANEOUS_VOICE_DATA = 3
} MBN_VOICE_CLASS;

// ---- records -------------------------------------------------------------------------

// What GetInterfaceCapability fills; the caller frees each BSTR that is not NULL.
typedef struct MBN_INTERFACE_CAPS {
    MBN_CELLULAR_CLASS cellularClass;
    MBN_VOICE_CLASS voiceClass;
    ULONG dataClass;
    BSTR customDataClass;
    ULONG gsmBandClass;
    ULONG cdmaBandClass;
    BSTR customBandClass;
    ULONG smsCaps;
    ULONG controlCaps;
    BSTR deviceID;
    BSTR manufacturer;
    BSTR model;
    BSTR firmwareInfo;
} MBN_INTERFACE_CAPS;

typedef struct MBN_PROVIDER {
    BSTR providerID;
    ULONG providerState;
    BSTR providerName;
    ULONG dataClass;
} MBN_PROVIDER;

// ---- identifiers ---------------------------------------------------------------------
// Inline variables: one definition for the whole program, whichever units include this.

inline const GUID CLSID_MbnInterfaceManager = {
    0xBDFEE05B, 0x4418, 0x11DD, {0x90, 0xED, 0x00, 0x1C, 0x25, 0x7C, 0xCF, 0xF1}};
inline const GUID IID_IMbnInterfaceManager = {
    0xDCBBBAB6, 0x201B, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
inline const GUID IID_IMbnInterface = {0xDCBBBAB6, 0x2001, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
inline const GUID IID_IMbnInterfaceEvents = {
    0xDCBBBAB6, 0x2002, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
inline const GUID IID_IMbnSubscriberInformation = {
    0x459ECC43, 0xBCF5, 0x11DC, {0xA8, 0xA8, 0x00, 0x13, 0x21, 0xF1, 0x40, 0x5F}};
inline const GUID IID_IMbnRadio = {0xDCCCCAB6, 0x201F, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
inline const GUID IID_IMbnRadioEvents = {0xDCDDDAB6, 0x201F, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};

// ---- interfaces ----------------------------------------------------------------------

struct IMbnInterface;
struct IMbnConnection;  // only named by IMbnInterface::GetConnection
struct IMbnRadio;

struct IMbnSubscriberInformation : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_SubscriberID(BSTR* SubscriberID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SimIccID(BSTR* SimIccID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TelephoneNumbers(SAFEARRAY** TelephoneNumbers) = 0;
};

struct IMbnInterface : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_InterfaceID(BSTR* InterfaceID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInterfaceCapability(MBN_INTERFACE_CAPS* interfaceCaps) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSubscriberInformation(IMbnSubscriberInformation** subscriberInformation) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReadyState(MBN_READY_STATE* readyState) = 0;
    virtual HRESULT STDMETHODCALLTYPE InEmergencyMode(VARIANT_BOOL* emergencyMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHomeProvider(MBN_PROVIDER* homeProvider) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPreferredProviders(SAFEARRAY** preferredProviders) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPreferredProviders(SAFEARRAY* preferredProviders, ULONG* requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVisibleProviders(ULONG* age, SAFEARRAY** visibleProviders) = 0;
    virtual HRESULT STDMETHODCALLTYPE ScanNetwork(ULONG* requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnection(IMbnConnection** mbnConnection) = 0;
};

struct IMbnInterfaceManager : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetInterface(LPCWSTR interfaceID, IMbnInterface** mbnInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInterfaces(SAFEARRAY** mbnInterfaces) = 0;
};

// Reached through IMbnInterface::QueryInterface.
struct IMbnRadio : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_SoftwareRadioState(MBN_RADIO* SoftwareRadioState) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HardwareRadioState(MBN_RADIO* HardwareRadioState) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSoftwareRadioState(MBN_RADIO radioState, ULONG* requestID) = 0;
};

// Notification sinks, registered at the interface manager's connection points.
struct IMbnInterfaceEvents : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnInterfaceCapabilityAvailable(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnSubscriberInformationChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnReadyStateChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnEmergencyModeChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnHomeProviderAvailable(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnPreferredProvidersChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnSetPreferredProvidersComplete(IMbnInterface* newInterface, ULONG requestID,
                                                                      HRESULT status) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnScanNetworkComplete(IMbnInterface* newInterface, ULONG requestID,
                                                            HRESULT status) = 0;
};

struct IMbnRadioEvents : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnRadioStateChange(IMbnRadio* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnSetSoftwareRadioStateComplete(IMbnRadio* newInterface, ULONG requestID,
                                                                      HRESULT status) = 0;
};
