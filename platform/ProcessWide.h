#pragma once
// The one pattern of the process-wide objects (the options, the two
// databases, the connection manager): made on first use by whichever thread
// asks first, reached through Instance(), and destroyed by DestroyInstance()
// at shutdown, in the order the program gives; a later Instance() makes a
// fresh one.
#include <mutex>

template <typename T>
class CProcessWide {
public:
    static T& Get()
    {
        std::lock_guard guard(s_lock);
        if (!s_pInstance)
            s_pInstance = new T;
        return *s_pInstance;
    }
    static void DestroyInstance()
    {
        std::lock_guard guard(s_lock);
        delete s_pInstance;
        s_pInstance = nullptr;
    }

private:
    static inline T* s_pInstance = nullptr;
    static inline std::mutex s_lock;
};
