// The network device object: lists the machine's network adapters, picks the one that
// carries a hardware ID, tells whether an adapter is one of the maker's wireless devices,
// and saves or restores an adapter's network settings in the backup key. One global object
// lives from start-up to exit and keeps the current adapter, whose NetCfgInstanceId is the
// value of %NetInstanceGUID%.
//
// Selection. An adapter is picked when its first hardware ID begins with the wanted ID
// (without regard to case), its presence is the wanted one and it has a NetCfgInstanceId;
// an empty wanted ID picks nothing.
//
// The backup key HKLM\SOFTWARE\Quarven\OrvashTool\Backup holds one adapter's settings at a
// time, in its sub keys only; a restore writes them onto the adapter it picks, whatever
// its NetCfgInstanceId now is (a driver reinstall gives the adapter a new one). Both always
// work in the program's own registry view.
#pragma once

#include <windows.h>

#include "DevCtrl.h"
#include "LibList.h"
#include "SvcCtrl.h"

#define NETDEV_GUID_CCH 128
#define NETDEV_HWID_CCH 256
#define NETDEV_TEXT_CCH 1024

// The parts of a backup (level bits).
#define NETDEV_LEVEL_TCPIP 0x1
#define NETDEV_LEVEL_NETBT 0x2
#define NETDEV_LEVEL_WIRELESS 0x4
#define NETDEV_LEVEL_ADAPTER 0x8

// One network adapter. An absent property or value leaves its field empty; longer ones
// are cut to the field.
struct NetDevInfo {
    WCHAR szHardwareIds[NETDEV_HWID_CCH];  // the multi-string; its first string is the ID
    DWORD cbHardwareIds;
    WCHAR szDescription[NETDEV_TEXT_CCH];
    WCHAR szFriendlyName[NETDEV_TEXT_CCH];
    WCHAR szService[NETDEV_TEXT_CCH];
    WCHAR szDriverKey[NETDEV_GUID_CCH];
    WCHAR szNetCfgInstanceId[NETDEV_GUID_CCH];
    WCHAR szCardCfgId[NETDEV_GUID_CCH];
    WCHAR szVendor[NETDEV_GUID_CCH];
    DWORD bWireless;
    DWORD bPresent;
};

class CNetDevCtrl : public CDevCtrl {
public:
    CNetDevCtrl();
    virtual ~CNetDevCtrl();

    // The Net-class devices (present ones only with bPresent) of the enumerator (null:
    // every one); 1 when the set was walked completely.
    int GetNetDevInfo(CRecordList<NetDevInfo>* pList, int bPresent, LPCWSTR pszEnumerator);
    // The first adapter that the selection rule picks; 1 found.
    int GetNetDev(NetDevInfo* pOut, LPCWSTR pszHardwareId, int bPresent);
    // Makes the picked adapter the current one; on failure there is no current adapter.
    int Open(LPCWSTR pszHardwareId, int bPresent);
    // Forgets the current adapter.
    void Close();
    // 1 when the ID and an entry of the DevID_SupportRL list agree over the shorter of
    // their lengths (without regard to case); every entry 0 to 255 is read, gaps or not.
    int IsWirelessByReg(LPCWSTR pszHardwareId);
    // 1 when the backup key exists.
    int IsBackupExist();
    // Backs up the picked adapter's selected parts; refused while a backup exists. 1 when
    // every selected part that exists was copied; on a failure nothing of the backup stays.
    int BackupNetConfig(LPCWSTR pszHardwareId, int bPresent, DWORD dwLevel);
    // Restores the selected parts onto the picked adapter. 1 when every selected part that
    // the backup holds was copied back.
    int RestoreNetConfig(LPCWSTR pszHardwareId, int bPresent, DWORD dwLevel);

    const NetDevInfo& GetCurrent() const { return m_Current; }
    // The NetCfgInstanceId of the current adapter; empty when there is none.
    LPCWSTR GetNetCfgInstanceId() const { return m_Current.szNetCfgInstanceId; }

protected:
    NetDevInfo m_Current;
    CSvcCtrl m_SvcCtrl;

private:
    CNetDevCtrl(const CNetDevCtrl&);
    CNetDevCtrl& operator=(const CNetDevCtrl&);

    int CopyPart(int bRestore, LPCWSTR pszName, LPCWSTR pszLive, LPCWSTR pszBackupSub);
    void StopIfRunning(LPCWSTR pszService);
};

// The setup program's network device object; null before start-up and after the exit.
extern CNetDevCtrl* g_pNetDevCtrl;
