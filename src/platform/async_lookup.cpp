#include "platform/async_lookup.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

#include "platform/host_resolve.h"
#include "platform/winsock_errors.h"

namespace tidewell {

namespace {

// The number of look-up workers running in the process. Workers hold their
// own reference, so the block outlives every one of them.
struct WorkerCount {
  std::mutex mutex;
  std::condition_variable idle;
  int running = 0;
};

const std::shared_ptr<WorkerCount>& workerCount() {
  static const std::shared_ptr<WorkerCount> count = std::make_shared<WorkerCount>();
  return count;
}

}  // namespace

struct AsyncLookups::Request {
  // Set before the worker starts; read-only afterwards.
  AsyncHandle handle = kNoRequest;
  Query query;
  TargetHandle target = kNoTarget;
  std::uint32_t message = 0;
  char* buffer = nullptr;
  int length = 0;
  // The process's worker count, taken on the starting thread: the function's
  // own static may already be destroyed (at exit) when a detached worker
  // finishes.
  std::shared_ptr<WorkerCount> workers;
  // Written by the worker before it hands the request over.
  HostOutcome host;
  ServiceOutcome service;
};

struct AsyncLookups::Shared {
  // Guards `loop` between the workers and the owner's destructor: a worker
  // hands its result over only while the loop is still set.
  std::mutex mutex;
  MessageLoop* loop = nullptr;

  // Loop thread only.
  std::unordered_map<AsyncHandle, std::shared_ptr<Request>> pending;
  std::size_t inFlight = 0;
  AsyncHandle nextHandle = 1;
};

AsyncLookups::AsyncLookups(MessageLoop& loop) : shared_(std::make_shared<Shared>()) {
  shared_->loop = &loop;
}

AsyncLookups::~AsyncLookups() {
  cancelAll();
  const std::lock_guard lock(shared_->mutex);
  shared_->loop = nullptr;
}

AsyncHandle AsyncLookups::start(Query query, TargetHandle target, std::uint32_t message, char* buffer, int length,
                                int& error) {
  error = 0;
  if (!shared_->loop->isTarget(target)) {
    error = kWsaEInval;
    return kNoRequest;
  }
  if (!isRecordBuffer(buffer, length)) {
    error = kWsaEFault;
    return kNoRequest;
  }
  if (shared_->inFlight >= kMaxInFlight) {
    error = kWsaENoBufs;
    return kNoRequest;
  }
  auto request = std::make_shared<Request>();
  request->handle = shared_->nextHandle++;
  if (shared_->nextHandle == kNoRequest) {
    shared_->nextHandle = 1;
  }
  request->query = std::move(query);
  request->target = target;
  request->message = message;
  request->buffer = buffer;
  request->length = length;
  request->workers = workerCount();

  const std::shared_ptr<WorkerCount>& count = request->workers;
  {
    const std::lock_guard lock(count->mutex);
    ++count->running;
  }
  try {
    std::thread(work, shared_, request).detach();
  } catch (const std::system_error&) {
    const std::lock_guard lock(count->mutex);
    --count->running;
    count->idle.notify_all();
    error = kWsaENoBufs;
    return kNoRequest;
  }
  shared_->pending.emplace(request->handle, request);
  ++shared_->inFlight;
  return request->handle;
}

void AsyncLookups::work(const std::shared_ptr<Shared>& shared, const std::shared_ptr<Request>& request) {
  // Copies of the shared pointers: the starting thread's are gone by now.
  const std::shared_ptr<Shared> keepShared = shared;
  const std::shared_ptr<Request> keepRequest = request;
  const std::shared_ptr<WorkerCount> count = keepRequest->workers;
  const Query& query = keepRequest->query;
  switch (query.kind) {
    case Query::Kind::HostByName:
      keepRequest->host = resolveHostByName(query.name);
      break;
    case Query::Kind::HostAddresses:
      keepRequest->host = resolveHostAddresses(query.name, query.family);
      break;
    case Query::Kind::HostByAddress:
      keepRequest->host = resolveHostByAddress(query.address);
      break;
    case Query::Kind::ServiceByName:
      keepRequest->service = resolveServiceByName(query.name, query.protocol);
      break;
    case Query::Kind::ServiceByPort:
      keepRequest->service = resolveServiceByPort(query.port, query.protocol);
      break;
  }
  {
    const std::lock_guard lock(keepShared->mutex);
    if (keepShared->loop != nullptr) {
      keepShared->loop->postTask([keepShared, keepRequest] { deliver(*keepShared, *keepRequest); });
    }
  }
  const std::lock_guard lock(count->mutex);
  --count->running;
  count->idle.notify_all();
}

void AsyncLookups::deliver(Shared& shared, Request& request) {
  --shared.inFlight;
  const auto it = shared.pending.find(request.handle);
  if (it == shared.pending.end() || it->second.get() != &request) {
    return;  // cancelled or abandoned
  }
  shared.pending.erase(it);
  MessageLoop* loop = nullptr;
  {
    const std::lock_guard lock(shared.mutex);
    loop = shared.loop;
  }
  if (loop == nullptr || !loop->isTarget(request.target)) {
    return;
  }
  const bool isHost = request.query.kind == Query::Kind::HostByName ||
                      request.query.kind == Query::Kind::HostByAddress ||
                      request.query.kind == Query::Kind::HostAddresses;
  int error = isHost ? request.host.error : request.service.error;
  int length = 0;
  if (error == 0) {
    length = isHost ? writeHostRecord(request.host.host, request.buffer, request.length)
                    : writeServiceRecord(request.service.service, request.buffer, request.length);
    if (length > request.length) {
      error = kWsaENoBufs;  // nothing written; the low half says how much is needed
    }
  }
  loop->send(request.target, request.message, request.handle, makeAsyncReply(std::min(length, 0xFFFF), error));
}

int AsyncLookups::cancel(AsyncHandle request) {
  const auto it = shared_->pending.find(request);
  if (it != shared_->pending.end()) {
    shared_->pending.erase(it);
    return 0;
  }
  if (request == kNoRequest || request >= shared_->nextHandle) {
    return kWsaEInval;
  }
  return kWsaEAlready;
}

void AsyncLookups::cancelAll() {
  shared_->pending.clear();
}

bool AsyncLookups::isPending(AsyncHandle request) const {
  return shared_->pending.contains(request);
}

std::size_t AsyncLookups::inFlight() const {
  return shared_->inFlight;
}

bool AsyncLookups::waitForWorkers(std::chrono::milliseconds limit) {
  const std::shared_ptr<WorkerCount> count = workerCount();
  std::unique_lock lock(count->mutex);
  return count->idle.wait_for(lock, limit, [&count] { return count->running == 0; });
}

}  // namespace tidewell
