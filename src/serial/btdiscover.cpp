#include "serial/btdiscover.h"

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <ws2bth.h>

#include "core/widestr.h"
#include "diag/dbg.h"

namespace dorvane {

namespace {

// The query record's size as the name service expects it for this request.
WSAQUERYSETW QueryHead() {
    WSAQUERYSETW query{};
    query.dwSize = sizeof(WSAQUERYSETW);
    query.dwNameSpace = NS_BTH;
    return query;
}

}  // namespace

bool CWinsockBluetoothNameService::Startup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

void CWinsockBluetoothNameService::Cleanup() {
    WSACleanup();
}

bool CWinsockBluetoothNameService::Begin(uint32_t flags, int& error) {
    WSAQUERYSETW query = QueryHead();
    HANDLE lookup = nullptr;
    if (WSALookupServiceBeginW(&query, flags, &lookup) != 0) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    m_hLookup = lookup;
    return true;
}

int CWinsockBluetoothNameService::Next(uint32_t flags, std::vector<uint8_t>& buffer, uint32_t& length,
                                       BluetoothDevice& device) {
    if (buffer.size() < sizeof(WSAQUERYSETW)) {
        return WSAEFAULT;
    }
    auto* result = reinterpret_cast<WSAQUERYSETW*>(buffer.data());
    *result = QueryHead();
    DWORD size = length < buffer.size() ? length : static_cast<DWORD>(buffer.size());
    if (WSALookupServiceNextW(m_hLookup, flags, &size, result) != 0) {
        length = size;
        return WSAGetLastError();
    }
    wchar_t address[40] = {};
    if (result->dwNumberOfCsAddrs >= 1 && result->lpcsaBuffer != nullptr) {
        DWORD characters = 40;
        WSAAddressToStringW(result->lpcsaBuffer->RemoteAddr.lpSockaddr, sizeof(SOCKADDR_BTH), nullptr,
                            address, &characters);
    }
    device.address = AsUtf16(address);
    if (result->lpszServiceInstanceName != nullptr) {
        device.name = AsUtf16(result->lpszServiceInstanceName);
    }
    wchar_t id[40] = {};
    if (result->lpServiceClassId != nullptr) {
        StringFromGUID2(*result->lpServiceClassId, id, 40);
    }
    device.classId = AsUtf16(id);
    return 0;
}

void CWinsockBluetoothNameService::End() {
    WSALookupServiceEnd(m_hLookup);
    m_hLookup = nullptr;
}

bool DiscoverBluetoothDevices() {
    CWinsockBluetoothNameService service;
    return DiscoverBluetoothDevices(
        service, [](const std::u16string& line) { TraceLog(L"%s", AsWide(line.c_str())); });
}

}  // namespace dorvane
