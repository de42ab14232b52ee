#pragma once
// The few seams through which the core reaches the operating system. The
// product installs the Win32 adapters at start-up; unit tests install fakes.
//
// One failure rule per kind of call, everywhere:
//   - opening something (a session, a response, a file): nullptr when it
//     cannot be opened (a file also gives the system's error number);
//   - a query (a size, a digest, a registry value, the Windows version):
//     std::optional, or bool with an out-parameter;
//   - a failure in the middle of an operation that has begun (a read that
//     breaks off, a write to a full disk, a close): PlatformError is thrown,
//     and the core turns it into the operation's failure value.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace kelvara {

struct PlatformError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class HttpResponse {
 public:
  virtual ~HttpResponse() = default;
  // The numeric status as decimal text; "" when it cannot be read.
  virtual std::string StatusText() = 0;
  // A header's value as sent ("Content-Length", "Content-Range", "ETag", ...);
  // "" when there is none.
  virtual std::string HeaderText(const std::string& name) = 0;
  // Up to size bytes of the body; 0 at its end. Throws PlatformError, also
  // when no byte came for the session's stall time.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

class HttpSession {
 public:
  virtual ~HttpSession() = default;
  // Sends the GET with the extra header lines (each ending in CR LF, "" for
  // none) and waits for the response head; nullptr when the address cannot
  // be opened or no head came. An error status is not a failure here.
  virtual std::unique_ptr<HttpResponse> OpenUrl(const std::string& url,
                                                const std::string& headers) = 0;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // Never answered from a cache, nor stored in one; stallMs bounds each wait
  // for the server, for a head and for each read.
  virtual std::unique_ptr<HttpSession> OpenSession(unsigned stallMs) = 0;
  // The wait before asking an address again; Cancel ends the process meanwhile.
  virtual void Pause(unsigned ms) = 0;
};

class LocalFile {
 public:
  virtual ~LocalFile() = default;                              // closes the file if still open
  virtual void Write(const char* data, std::size_t size) = 0;  // all or throws
  virtual void Close() = 0;                                    // throws
};

// What the system read of a file's Authenticode signature, raw: the core judges.
struct SignatureFacts {
  std::uint32_t trustResult = 0;   // WinVerifyTrust's answer (an HRESULT)
  std::uint32_t chainStatus = 0;   // the signer chain's error bits; 0: none
  std::uint32_t policyResult = 0;  // the Authenticode chain policy's error; 0: passed
  std::string rootThumbprint;      // the chain's last certificate, SHA-1, 40 lower-case hex
  std::string signerName;          // the signer certificate's subject CN
};

// A file open for reading that no other process may write, move or delete
// until it is destroyed: what was checked through it is what runs.
class HeldFile {
 public:
  virtual ~HeldFile() = default;
  virtual std::optional<std::uint64_t> Size() = 0;
  // The SHA-256 of the whole content as 64 lower-case hex digits.
  virtual std::optional<std::string> Sha256Hex() = 0;
  // The signature read through this handle, offline; nullopt when the
  // system could not examine the file at all.
  virtual std::optional<SignatureFacts> Signature() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Creates or truncates the file for writing, shared with nobody while it is
  // open; an older file of that name is replaced whatever its attributes.
  virtual std::unique_ptr<LocalFile> CreateExclusive(const std::string& path,
                                                     unsigned long* error) = 0;
  // Opens an existing file for writing at its end, likewise shared with nobody.
  virtual std::unique_ptr<LocalFile> OpenExclusiveAtEnd(const std::string& path) = 0;
  // The whole file in binary.
  virtual std::optional<std::string> ReadAll(const std::string& path) = 0;
  // A reparse point, or a file with more than one link, is refused: what is
  // held is no name for another file.
  virtual std::unique_ptr<HeldFile> OpenHeld(const std::string& path, unsigned long* error) = 0;
  // The folder programs run from, with its backslash: made at the first call,
  // new, with a random name, writable by administrators only, held until the
  // process ends and then removed with what was put in it; "" when it cannot
  // be made.
  virtual std::string RunFolder() = 0;
  // A new file at path, never through an existing name or link, with the held
  // file's content, itself held as OpenHeld holds.
  virtual std::unique_ptr<HeldFile> CopyHeld(HeldFile& from, const std::string& path,
                                             unsigned long* error) = 0;
  // For a layout: the folder made unless it exists; a file with the held
  // file's content (from null: the text) written under a temporary name beside
  // path and renamed over it, so the name never holds half a file; a file removed.
  virtual bool MakeFolder(const std::string& path, unsigned long* error) = 0;
  virtual bool Publish(const std::string& path, HeldFile* from, const std::string& text,
                       unsigned long* error) = 0;
  virtual void Remove(const std::string& path) = 0;
};

using RegKey = std::uintptr_t;

class SystemApi {
 public:
  virtual ~SystemApi() = default;
  virtual bool GetWindowsVersion(std::uint32_t* major, std::uint32_t* minor) = 0;
  // Keys below HKEY_LOCAL_MACHINE. OpenKey asks for no particular access.
  virtual bool OpenKey(const std::string& subkey, RegKey* key) = 0;
  virtual bool OpenKeyFullAccess(const std::string& subkey, RegKey* key) = 0;
  // On input *size is the buffer's capacity; false when the value is missing
  // or does not fit.
  virtual bool QueryValue(RegKey key, const std::string& name, unsigned char* data,
                          std::uint32_t* size) = 0;
  virtual void CloseKey(RegKey key) = 0;
  // Starts the command line in the directory ("": the wizard's own), never
  // through the shell, and with wait for the program to end: the exit code
  // read as signed (0 when not waited for), or LAUNCH_FAILED; *error is then
  // the system's error number.
  virtual int Run(const std::string& commandLine, const std::string& directory, bool wait,
                  unsigned long* error) = 0;
};

// Starts the one worker of a job and carries its reply back to the window
// thread. The flow owns the rules; the adapter only makes the calls.
class JobRunner {
 public:
  virtual ~JobRunner() = default;
  // Queues one (stage, step) pair for the window thread.
  virtual void PostStep(int stage, int step) = 0;
  // Runs work(param) on a new thread, created suspended and then resumed;
  // false when no thread could be started.
  virtual bool StartThread(unsigned (*work)(void*), void* param) = 0;
};

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual void Seed() = 0;  // from the current time
  virtual int Next() = 0;   // non-negative
};

struct Platform {
  HttpClient* http = nullptr;
  FileSystem* files = nullptr;
  SystemApi* system = nullptr;
  JobRunner* jobs = nullptr;
  RandomSource* random = nullptr;
};

Platform& GetPlatform();
void SetPlatform(const Platform& platform);

// The C runtime's generator seeded with time(); shared by product and tests.
RandomSource& StandardRandom();

}  // namespace kelvara
