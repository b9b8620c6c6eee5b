"""Checks of the benchmark's trees: figures taken on different days compare only if the same
options give the same bytes, and a "1 % changed" run measures nothing if the edits leave a file
as it was or if the reset between runs loses folders."""

import hashlib
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tree  # noqa: E402


def digests(root):
    result = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as file:
                result[os.path.relpath(path, root)] = hashlib.md5(file.read()).hexdigest()
    return result


class PlanTest(unittest.TestCase):
    def test_sizes_counts_and_bounds(self):
        for files, size_mib in ((300, 40), (2400, 300), (20000, 3072)):
            layout = tree.plan(1, files, size_mib)
            sizes = [size for _, size in layout["small"]]
            self.assertEqual(len(sizes), files)
            self.assertTrue(all(tree.SMALLEST <= size <= tree.LARGEST_SMALL for size in sizes))
            small_mib = sum(sizes) / tree.MIB
            # Half the tree is small files; the draw may stray a little from its mean.
            self.assertAlmostEqual(small_mib, size_mib / 2, delta=size_mib * 0.1)
            large = [size for _, size in layout["large"]]
            self.assertEqual(len(large), len(tree.LARGE_SHARES))
            self.assertAlmostEqual(sum(large) / tree.MIB, size_mib / 2, delta=len(large))
            names = [name.lower() for name, _ in layout["small"]]
            self.assertEqual(len(names), len(set(names)), "names must differ even ignoring case")

    def test_full_size_has_large_files_of_an_office_share(self):
        large = [size / tree.MIB for _, size in tree.plan(1, 20000, 3072)["large"]]
        self.assertTrue(all(200 <= size <= 1024 for size in large), large)

    def test_same_seed_same_plan_other_seed_other_plan(self):
        self.assertEqual(tree.plan(5, 500, 20), tree.plan(5, 500, 20))
        self.assertNotEqual(tree.plan(5, 500, 20)["small"], tree.plan(6, 500, 20)["small"])


class FoldersTest(unittest.TestCase):
    def test_every_folder_with_files_holds_two_to_five_documents(self):
        layout = tree.plan_folders(1, 3000)
        self.assertEqual(layout, tree.plan_folders(1, 3000))
        self.assertNotEqual(layout["small"], tree.plan_folders(2, 3000)["small"])
        self.assertEqual(len(layout["small"]), 3000)
        per_folder = {}
        for name, size in layout["small"]:
            per_folder[os.path.dirname(name)] = per_folder.get(os.path.dirname(name), 0) + 1
            self.assertTrue(tree.FOLDERS_SMALLEST <= size <= tree.FOLDERS_LARGEST, size)
        self.assertTrue(all(2 <= count <= 5 for count in per_folder.values()), per_folder)
        self.assertGreater(len(per_folder), 3000 / 5)
        self.assertTrue(set(per_folder) <= set(layout["folders"]))
        names = [name.lower() for name, _ in layout["small"]]
        self.assertEqual(len(names), len(set(names)))

    def test_pair_differs_in_one_byte_only_from_its_old_version(self):
        with tempfile.TemporaryDirectory() as root:
            tree.write_pair(root, 3)
            sides = {}
            for side in ("source", "same", "old"):
                with open(os.path.join(root, side, "pair.bin"), "rb") as file:
                    sides[side] = file.read()
            self.assertEqual(sides["source"], sides["same"])
            self.assertEqual(len(sides["old"]), 3 * tree.MIB)
            self.assertEqual(sum(a != b for a, b in zip(sides["source"], sides["old"])), 1)


class ShareTest(unittest.TestCase):
    def test_share_is_shaped_like_a_file_share_and_fixed_by_its_seed(self):
        layout = tree.plan_share(1, 5000, 1000)
        self.assertEqual(layout, tree.plan_share(1, 5000, 1000))
        self.assertNotEqual(layout["small"], tree.plan_share(2, 5000, 1000)["small"])
        self.assertEqual(len(layout["folders"]), 1000)
        depths = [folder.count(os.sep) + 1 for folder in layout["folders"]]
        self.assertEqual(max(depths), tree.SHARE_DEPTH)
        self.assertGreater(sum(1 for depth in depths if depth >= 8), 10)
        sizes = [size for _, size in layout["small"]]
        self.assertEqual(len(sizes), 5000)
        self.assertTrue(all(tree.SHARE_SMALLEST <= size <= tree.SHARE_LARGEST for size in sizes))
        tail = sum(1 for size in sizes if size > tree.SHARE_LARGEST_SMALL)
        self.assertTrue(20 <= tail <= 120, tail)
        names = [name.lower() for name, _ in layout["small"]] + [folder.lower() for folder in layout["folders"]]
        self.assertEqual(len(names), len(set(names)), "names must differ even ignoring case")
        self.assertTrue(any(any("\u4e00" <= c <= "\u9fff" for c in name) for name in names))


class GenerateTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.layout = tree.plan(3, 200, 12)

    def tearDown(self):
        self.work.cleanup()

    def make(self, name):
        root = os.path.join(self.work.name, name)
        tree.generate(root, self.layout)
        return root

    def test_content_is_deterministic_and_files_differ(self):
        first = digests(self.make("a"))
        second = digests(self.make("b"))
        self.assertEqual(first, second)
        self.assertEqual(len(first), 200 + 3 + 1)  # small, large, layout.json
        contents = [digest for name, digest in first.items() if name != "layout.json"]
        self.assertEqual(len(contents), len(set(contents)), "no two files may share content")

    def test_generated_as_tells_a_tree_apart(self):
        root = self.make("a")
        self.assertTrue(tree.generated_as(root, self.layout))
        self.assertFalse(tree.generated_as(root, tree.plan(3, 201, 12)))
        self.assertFalse(tree.generated_as(os.path.join(self.work.name, "missing"), self.layout))

    def test_changes_alter_every_chosen_file_half_keeping_size(self):
        root = self.make("a")
        office = os.path.join(root, "office")
        changes = tree.changed_files(self.layout)
        self.assertEqual(len(changes), 2)
        large_layout = tree.plan(3, 2400, 12)
        many = tree.changed_files(large_layout)
        self.assertEqual(len(many), 24)
        self.assertEqual(sum(1 for _, same in many if same), 12)

        before = digests(office)
        sizes = {name: os.path.getsize(os.path.join(office, name)) for name, _ in changes}
        tree.apply_changes(office, changes)
        after = digests(office)
        for name, same_size in changes:
            self.assertNotEqual(before[name], after[name], name)
            grew = os.path.getsize(os.path.join(office, name)) - sizes[name]
            self.assertEqual(grew == 0, same_size, name)
        unchanged = set(before) - {name for name, _ in changes}
        self.assertTrue(all(before[name] == after[name] for name in unchanged))

    def test_folders_only_copy_and_reset(self):
        root = self.make("a")
        target = os.path.join(self.work.name, "t")
        tree.copy_folders(root, target)
        folders = sorted(os.path.relpath(f, root) for f, _, _ in os.walk(root))
        self.assertEqual(folders, sorted(os.path.relpath(f, target) for f, _, _ in os.walk(target)))
        self.assertEqual(digests(target), {})
        tree.copy_folders(root, target)  # again over existing folders
        with open(os.path.join(target, "office", "stray.txt"), "wb") as file:
            file.write(b"x")
        tree.remove_files(target)
        self.assertEqual(digests(target), {})
        self.assertEqual(folders, sorted(os.path.relpath(f, target) for f, _, _ in os.walk(target)))


class WindowsPathTest(unittest.TestCase):
    def test_unix_paths_map_to_drive_z(self):
        sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
        import bench

        self.assertEqual(bench.windows_path("/tmp/a b/报告"), "Z:\\tmp\\a b\\报告")


if __name__ == "__main__":
    unittest.main()
