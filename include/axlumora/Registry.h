// The per-user registry as a host reaches it: the desktop-shaped "A" functions over a store
// kept in the text format of registry export files ("Windows Registry Editor Version 5.00"), at
// $AXLUMORA_REGISTRY or else $XDG_CONFIG_HOME/axlumora/registry.reg
// (~/.config/axlumora/registry.reg when unset). The control reads its "DebugView" switch there
// (HKEY_CURRENT_USER\Software\Corvane\Savonne) and DllRegisterServer writes its class there.
#pragma once

#include <cstdint>

#include "axlumora/WinTypes.h"

using HKEY = std::uintptr_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_KEY_DELETED = 1018;  // the handle's key was deleted since it was opened

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr DWORD KEY_QUERY_VALUE = 0x0001;
constexpr DWORD KEY_SET_VALUE = 0x0002;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

// Desktop-shaped access, each call reading (and for writes, rewriting) the store file.
// String data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) crosses these "A" functions as UTF-8 with a
// terminating zero, the store keeping UTF-16LE. As on the desktop, queries need KEY_QUERY_VALUE
// and value writes KEY_SET_VALUE in the access the key was opened with, and a handle whose key
// was deleted answers ERROR_KEY_DELETED. A store file that exists but cannot be read or is not
// in the export format is never replaced: writes fail with ERROR_ACCESS_DENIED.
LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                   HKEY* phkResult);
LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, char* lpClass,
                     DWORD dwOptions, DWORD samDesired, void* lpSecurityAttributes, HKEY* phkResult,
                     DWORD* lpdwDisposition);
LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                      BYTE* lpData, DWORD* lpcbData);
LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, const char* lpValueName);
LONG RegDeleteTreeA(HKEY hKey, const char* lpSubKey);
LONG RegCloseKey(HKEY hKey);
