#pragma once

// Every method of the engine's interfaces, written once. Each list calls
//   X(Context, Name, Slot, (parameters), (arguments))
// for every method of one interface, passing `Context` through unchanged.
// From these entries come the pure virtuals in contract/interfaces.h and,
// in the interface library, each method's number on the wire (the slot),
// the form of its parameters, its proxy and its stub. A new ordinary
// method is one entry here and its implementation in the engine.
//
// Slots are the interfaces' own numbering, after the three slots of the
// base interface; they are the wire format and never change. The types
// used in the entries must be declared where a list is expanded.

// IDownloadEngine. GetDLDir writes the folder, with its terminator, into the
// caller's buffer of dwLen bytes. The Enum* methods hand out a new
// enumerator over a snapshot of the queue.
#define PW_DOWNLOAD_ENGINE_METHODS(X, Context)                                                \
  X(Context, DownloadFile, 3, (const char* pszFile, const char* pszHref), (pszFile, pszHref)) \
  X(Context, CancelDownloadFile, 4, (const char* pszHref), (pszHref))                         \
  X(Context, StopAllDownloads, 5, (), ())                                                     \
  X(Context, IsDownloading, 6, (std::int32_t* pfDownloading), (pfDownloading))                \
  X(Context, SetDLDir, 7, (const char* pszFile), (pszFile))                                   \
  X(Context, GetDLDir, 8, (std::uint32_t dwLen, char* pszFile), (dwLen, pszFile))             \
  X(Context, SetThreadCount, 9, (std::uint32_t dwThreadCount), (dwThreadCount))               \
  X(Context, SetMaxRetries, 10, (std::uint32_t dwMaxRetries), (dwMaxRetries))                 \
  X(Context, EnumFiles, 11, (std::shared_ptr<IEnumFiles>* pEnum), (pEnum))                    \
  X(Context, EnumPending, 12, (std::shared_ptr<IEnumFiles>* pEnum), (pEnum))                  \
  X(Context, EnumDownloading, 13, (std::shared_ptr<IEnumFiles>* pEnum), (pEnum))

// The engine as a connection point container: it has one connection point,
// for IID_ICallbackItf; any other identity gives CONNECT_E_NOCONNECTION.
#define PW_CONNECTION_POINT_CONTAINER_METHODS(X, Context) \
  X(Context, FindConnectionPoint, 4, (const Guid& riid, std::shared_ptr<IConnectionPoint>* ppCP), (riid, ppCP))

// IEnumFiles. Next delivers up to `celt` records into `rgelt`; S_OK when all
// `celt` were delivered, S_FALSE when fewer were left. `pceltFetched` may be
// null.
#define PW_ENUM_FILES_METHODS(X, Context)                                                        \
  X(Context, Next, 3, (std::uint32_t celt, _LinkStructType* rgelt, std::uint32_t* pceltFetched), \
    (celt, rgelt, pceltFetched))                                                                 \
  X(Context, Skip, 4, (std::uint32_t celt), (celt))                                              \
  X(Context, Reset, 5, (), ())                                                                   \
  X(Context, Clone, 6, (std::shared_ptr<IEnumFiles>* ppenum), (ppenum))

// IConnectionPoint. Advise connects a sink; the cookie identifies the
// connection for Unadvise.
#define PW_CONNECTION_POINT_METHODS(X, Context)                                             \
  X(Context, Advise, 5, (std::shared_ptr<ICallbackItf> pUnkSink, std::uint32_t* pdwCookie), \
    (pUnkSink, pdwCookie))                                                                  \
  X(Context, Unadvise, 6, (std::uint32_t dwCookie), (dwCookie))

// ICallbackItf, the outgoing interface: one call per engine event.
#define PW_CALLBACK_METHODS(X, Context)                                                                     \
  X(Context, DownloadStatus, 7, (std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls), \
    (dwStatus, pszStatus, ls))

// Declares a list's methods as pure virtuals of the interface being defined.
#define PW_DECLARE_METHOD(Context, Name, Slot, Params, Args) virtual HRESULT Name Params = 0;
