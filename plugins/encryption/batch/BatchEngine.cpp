#include "BatchEngine.h"

#include "batch/HandleBudget.h"
#include "batch/Leftovers.h"
#include "batch/Pipeline.h"
#include "batch/SlotWork.h"

namespace vaultine {

class BatchEngine::Private
{
public:
    Private(const FolderListing &listing, Direction direction, bool cipherActive, Hooks hooks)
        : hooks(std::move(hooks))
        , budget(HandleBudget::now())
        , work(listing, direction, cipherActive, this->hooks, budget.spareFolders())
        , pipeline(work, this->hooks, budget)
    {
    }

    const Hooks hooks;
    const HandleBudget budget;
    SlotWork work;
    Pipeline pipeline;
};

BatchEngine::BatchEngine(const FolderListing &listing, Direction direction, bool cipherActive, Hooks hooks)
    : d(std::make_unique<Private>(listing, direction, cipherActive, std::move(hooks)))
{
}

BatchEngine::~BatchEngine() = default;

BatchSummary BatchEngine::run()
{
    // Before any file, so that none of them is taken for a leftover.
    const QStringList leftovers = clearLeftovers(d->work.listing(), d->work.folders(), d->hooks.log);
    BatchSummary summary = d->pipeline.run();
    summary.leftovers = leftovers;
    return summary;
}

} // namespace vaultine
