#include "account/AccountRefresher.h"

#include <condition_variable>
#include <mutex>

#include "account/AccountState.h"
#include "account/ServiceBase.h"

struct AccountRefresher::Control {
    std::mutex lock;
    std::condition_variable wake;
    bool stopping = false;
    bool busy = false; // a web request is in flight
};

AccountRefresher::AccountRefresher(AccountState &account, ServiceBase &service,
                                   std::chrono::milliseconds period)
    : account(account), service(service), period(period)
{
}

AccountRefresher::~AccountRefresher()
{
    stop();
}

void AccountRefresher::start()
{
    if (running())
        return;
    control = std::make_shared<Control>();
    thread = std::thread(&AccountRefresher::loop, control, std::ref(account), std::ref(service), period);
}

void AccountRefresher::stop()
{
    if (!control)
        return;
    bool busy = false;
    {
        std::lock_guard guard(control->lock);
        control->stopping = true;
        busy = control->busy;
    }
    control->wake.notify_all();
    if (thread.joinable()) {
        if (busy)
            thread.detach(); // ends by itself once its request returns
        else
            thread.join();
    }
    control.reset();
}

void AccountRefresher::loop(const std::shared_ptr<Control> &control, AccountState &account,
                            ServiceBase &service, std::chrono::milliseconds period)
{
    for (;;) {
        {
            std::unique_lock guard(control->lock);
            if (control->wake.wait_for(guard, period, [&] { return control->stopping; }))
                return;
            control->busy = true;
        }
        const AccountState::LoginFields fields = account.loginFields();
        const LoginResult result =
            requestLogin(service, fields.userName, fields.password, QStringLiteral("2"));
        storeLogin(account, result, fields.userName, fields.password);
        std::lock_guard guard(control->lock);
        control->busy = false;
    }
}
