/* The FTDI D2XX calls the link uses, with their usual names and signatures. Devices, in the
 * order FT_Open counts them: FTDI chips on USB (vendor 0x0403; chips no driver holds before those
 * the serial-port driver holds; only the one $KALVEX_UNIT_SERIAL names, when set), then a
 * simulated unit listening on its Unix socket. A test may attach an in-process virtual device
 * instead (d2xx_virtual.h). */
#ifndef KALVEX_FTD2XX_H
#define KALVEX_FTD2XX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef uint32_t ULONG;
typedef void* LPVOID;
typedef void* FT_HANDLE;
typedef ULONG FT_STATUS;

enum {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6
};

#define FT_PURGE_RX 1
#define FT_PURGE_TX 2

FT_STATUS FT_Open(int deviceNumber, FT_HANDLE* pHandle);
FT_STATUS FT_Close(FT_HANDLE ftHandle);
/* Takes up to dwBytesToRead bytes from the receive queue. It never waits: when the queue holds
 * fewer bytes it returns those (FT_OK, the count in *lpBytesReturned). */
FT_STATUS FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead,
                  LPDWORD lpBytesReturned);
FT_STATUS FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite,
                   LPDWORD lpBytesWritten);
FT_STATUS FT_Purge(FT_HANDLE ftHandle, ULONG Mask);
FT_STATUS FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes);
FT_STATUS FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize, ULONG ulOutTransferSize);

#ifdef __cplusplus
}
#endif

#endif
