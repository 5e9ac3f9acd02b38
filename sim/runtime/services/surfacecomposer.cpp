// "SurfaceFlinger": the runtime's compositor, as far as the host uses it.
//
// Interface "android.ui.ISurfaceComposer" (no exception code in replies):
//   103 hasWindow(String16 package) -> bool
// A package's window "appears" a set delay after the first question about
// that package (default 0: at once); setting the delay starts afresh.
// Test control (not Android):
//   0x5eed0001 setWindowDelay(int32 ms) -> 0
#include "novumparcel.h"
#include "simservice.h"

#include <QElapsedTimer>
#include <QMap>

using namespace ferry::binder;

namespace {

class SurfaceComposerService : public SimService
{
public:
    QStringList interfaces() const override { return {QStringLiteral("android.ui.ISurfaceComposer")}; }

    Status handle(SimCall &call) override
    {
        if (call.code == 103) {
            const QString package = call.in.readString();
            if (!m_firstAsked.contains(package)) {
                m_firstAsked[package].start();
            }
            const bool shown = m_firstAsked[package].elapsed() >= m_delayMs;
            call.args = {QStringLiteral("hasWindow"), package, shown};
            call.out.writeBool(shown);
            return kStatusOk;
        }
        if (call.code == 0x5eed0001) {
            m_delayMs = call.in.readInt32();
            m_firstAsked.clear();
            call.args = {QStringLiteral("setWindowDelay"), m_delayMs};
            call.out.writeInt32(0);
            return kStatusOk;
        }
        call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
        return kStatusFailed;
    }

private:
    int m_delayMs = 0;
    QMap<QString, QElapsedTimer> m_firstAsked;
};

} // namespace

FERRY_SIM_SERVICE("SurfaceFlinger", SurfaceComposerService)
