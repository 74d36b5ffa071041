#include "BatchEngine.h"

#include "batch/Leftovers.h"
#include "batch/Pipeline.h"
#include "batch/SlotWork.h"

class BatchEngine::Private
{
public:
    Private(const FolderListing &listing, Direction direction, bool cipherActive, Hooks hooks)
        : hooks(std::move(hooks))
        , work(listing, direction, cipherActive, this->hooks)
        , pipeline(work, this->hooks)
    {
    }

    const Hooks hooks;
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
