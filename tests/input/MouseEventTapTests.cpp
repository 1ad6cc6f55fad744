// The mouse tap's handler list: weak entries, each object once, in registration order.
#include "input/MouseEventTap.h"

#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

struct Handler final : MouseEventHandler {};

std::vector<MouseEventHandler*> live(const MouseEventTap& tap) {
    std::vector<MouseEventHandler*> out;
    for (const auto& entry : tap.handlers())
        if (auto handler = entry.lock()) out.push_back(handler.get());
    return out;
}

} // namespace

TEST(MouseEventTap, aHandlerIsRegisteredOnceHeldWeaklyAndDroppedAtTheNextRegistrationAfterItIsGone) {
    sim::ScopedSimDesktop desktop;
    auto tap = MouseEventTap::shared();
    auto a = std::make_shared<Handler>(), b = std::make_shared<Handler>(), c = std::make_shared<Handler>();

    tap->addHandler(a);
    tap->addHandler(b);
    tap->addHandler(a); // the same object again would see every event twice
    EXPECT_EQ(live(*tap), (std::vector<MouseEventHandler*>{a.get(), b.get()}));

    a.reset(); // the tap does not keep it alive
    tap->addHandler(c);
    EXPECT_EQ(live(*tap), (std::vector<MouseEventHandler*>{b.get(), c.get()}));
    EXPECT_EQ(tap->handlers().size(), 2u);
}
