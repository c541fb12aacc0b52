// The node pool behind every object's event list.
#include "store/node_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <list>
#include <set>

#include "store/event_list.h"

namespace {

struct alignas(8) Node {
    uint64_t words[5];
};
struct ListNode {  // what a std::list node holds: two links and the value
    void* links[2];
    Node node;
};
using Pool = xemidi::NodePool<sizeof(ListNode), alignof(ListNode)>;

TEST(NodePool, HandsOutDistinctAlignedSlotsAndReusesGivenOnes) {
    Pool pool;
    EXPECT_FALSE(pool.hasSpare());
    std::set<void*> slots;
    for (int i = 0; i < 1000; ++i) {  // across several blocks
        void* slot = pool.take();
        EXPECT_EQ(reinterpret_cast<uintptr_t>(slot) % alignof(Node), 0u);
        EXPECT_TRUE(slots.insert(slot).second) << "slot handed out twice";
        static_cast<ListNode*>(slot)->node.words[4] = 0xAB;  // the whole slot is ours
    }
    void* given = *slots.begin();
    pool.give(given);
    EXPECT_TRUE(pool.hasSpare());
    EXPECT_EQ(pool.take(), given);
}

TEST(NodePool, ListsSpliceWithinOnePoolAndFallBackForOtherSizes) {
    Pool pool;
    using Allocator = xemidi::PoolAllocator<Node, Pool>;
    std::list<Node, Allocator> list{Allocator(&pool)}, group{Allocator(&pool)};
    group.push_back(Node{});
    EXPECT_TRUE(pool.hasSpare()) << "the list's nodes do not come from the pool";
    for (uint64_t i = 1; i < 40; ++i) group.push_back(Node{{i, 0, 0, 0, 0}});
    list.splice(list.end(), group);
    EXPECT_EQ(list.size(), 40u);
    EXPECT_TRUE(list.get_allocator() == group.get_allocator());
    EXPECT_FALSE(list.get_allocator() == Allocator(nullptr));

    Allocator allocator(&pool);
    Node* many = allocator.allocate(3);  // not a single node: from operator new
    allocator.deallocate(many, 3);
}

TEST(NodePool, EventListsTakeTheirNodesFromIt) {
    xemidi::EventNodePool pool;
    xemidi::EventList list(pool);
    const uint8_t on[3] = {0x90, 60, 64};
    list.insert(0, on, 3);
    EXPECT_TRUE(pool.hasSpare());
}

}  // namespace
