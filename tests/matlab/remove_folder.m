function remove_folder(folder, previous)
%REMOVE_FOLDER  A test's cleanup: deletes FOLDER with all it holds, after going back to the
%   folder and path of PREVIOUS (a struct with fields folder and path).
cd(previous.folder);
if exist(folder, 'dir')
    rmdir(folder, 's');
end
path(previous.path);
end
