#pragma once

#include <chrono>
#include <memory>
#include <thread>

class AccountState;
class ServiceBase;

// Logs the account in again every period on a thread of its own, so that the
// mailbox, notice, link and page the web service hands out stay current. The
// stored credentials are used as they are at each turn. Widget-free.
//
// stop() never holds up the caller: a turn in the middle of its web request
// is left to finish by itself (the thread is detached and ends once the
// request returns). The account and the service must therefore outlive any
// such request; in the program both are process-wide.
class AccountRefresher {
public:
    AccountRefresher(AccountState &account, ServiceBase &service, std::chrono::milliseconds period);
    ~AccountRefresher();
    AccountRefresher(const AccountRefresher &) = delete;
    AccountRefresher &operator=(const AccountRefresher &) = delete;

    // Starts the thread; its first login comes one period later. Does nothing
    // when already running.
    void start();
    // Ends the thread, waiting for it only when it is between requests.
    void stop();
    bool running() const { return thread.joinable(); }

private:
    // Shared with the thread, which may outlive this object.
    struct Control;
    static void loop(const std::shared_ptr<Control> &control, AccountState &account, ServiceBase &service,
                     std::chrono::milliseconds period);

    AccountState &account;
    ServiceBase &service;
    std::chrono::milliseconds period;
    std::shared_ptr<Control> control;
    std::thread thread;
};
