#pragma once

struct CMwuRequest;

// What a task manager tells the user-interface thread while it works.
class CMwuNotifier
{
public:
    virtual ~CMwuNotifier() = default;
    // The task list changed: refresh now.
    virtual void PostRefresh() = 0;
    // A task manager started on the database: refresh and refit the window.
    virtual void PostManageStarted() = 0;
    // Rate-limited: a refresh within 10 s, and a progress notice to linked clients within 30 s.
    virtual void AskRefresh() = 0;
    virtual void AskRequestNotify(CMwuRequest* request) = 0;
};
